{ A Pascal program sends through the shipped unit (bindings/pascal/lsmtp.pas):
  one message with two attachments to port 25 of 127.0.0.1, as the Windows
  host program does, and one message the library refuses, which must come
  back as an ELsmtpError carrying the code, its name and the text that names
  the argument.

  Usage: send_mail FILE FILE. Prints the result of the message that is sent
  and exits 0 when it is 221 (the server's answer to QUIT), 1 otherwise. }
program send_mail;

{$IFDEF FPC}
  {$MODE DELPHI}
  {$H+}
{$ENDIF}

uses
  SysUtils, lsmtp;

var
  Msg: TLsmtpMessage;
  Code: Integer;
begin
  if ParamCount <> 2 then
  begin
    WriteLn(ErrOutput, 'usage: send_mail FILE FILE');
    Halt(2);
  end;
  Msg.SmtpHost := '127.0.0.1';
  Msg.FromAddr := 'host@windows.test';
  Msg.ToList := 'one@example.test';
  { A line break that is no fold would start a header of its own. }
  Msg.Subject := 'Hi'#13#10'Bcc: x@example.test';
  try
    LsmtpSend(Msg);
    WriteLn(ErrOutput, 'an unsafe subject was not refused');
    Halt(1);
  except
    on Refused: ELsmtpError do
      if (Refused.Code <> SMTP_ERR_ARGUMENT) or (Refused.CodeName <> 'SMTP_ERR_ARGUMENT') or
        (Pos('subject', Refused.Detail) = 0) or (Refused.Message <> '740 SMTP_ERR_ARGUMENT: ' + Refused.Detail) then
      begin
        WriteLn(ErrOutput, 'refused with ', Refused.Message);
        Halt(1);
      end;
  end;

  Msg.ToList := 'one@example.test;two@example.test';
  Msg.Subject := 'Report from a host program';
  Msg.Body := 'Hello from the DLL.'#13#10'Second line.';
  Msg.FromHeader := 'Windows Host <host@windows.test>';
  { The paths arrive in the system's code page and go over as UTF-8. }
  Msg.Attachments := UTF8String(ParamStr(1) + ';' + ParamStr(2));
  Code := LsmtpSend(Msg);
  WriteLn(Code);
  if Code <> 221 then
    Halt(1);
end.
