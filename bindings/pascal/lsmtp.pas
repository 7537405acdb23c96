{ lsmtp for Delphi and Free Pascal: the declarations of lsmtp_send_mail and
  lsmtp_send_mail_ex, the library's result codes, and LsmtpSend, which
  raises ELsmtpError, telling why, when the message was not sent.

  Add this unit to the project and put lsmtp.dll of the program's
  architecture beside it (Win32 programs: the x86 DLL; Win64: the x64 DLL).
  Free Pascal on Linux links liblsmtp.so instead.

    var
      Msg: TLsmtpMessage;
    begin
      Msg.SmtpHost := 'mail.example.org';
      Msg.FromAddr := 'me@example.org';
      Msg.ToList := 'you@example.org';
      Msg.Subject := 'Report';
      Msg.Attachments := 'C:\Reports\report.pdf';
      LsmtpSend(Msg);

  Text goes over as UTF-8, so any text and any file name works: Delphi 2009
  and later convert a string to UTF8String on assignment. Called directly,
  lsmtp_send_mail takes PAnsiChar(UTF8String(S)) for each string and nil for
  an argument not given.

  ELsmtpError's Message holds the code, its name and the library's text of
  why, e.g. '550 SERVER_REFUSED_PERMANENTLY: 192.0.2.1 refused RCPT
  TO:<nobody@example.org>: 550 5.1.1 User unknown'; its Detail holds the
  text alone. LsmtpSend(Msg, Text) also hands back who
  accepted the message and the server's reply, with its queue id.

  Copyright (c) the lsmtp authors. MIT licence (see LICENSE). }
unit lsmtp;

{$IFDEF FPC}
  {$MODE DELPHI}
  {$H+}
{$ENDIF}

interface

uses
  SysUtils;

const
{$IFDEF MSWINDOWS}
  LsmtpLibrary = 'lsmtp.dll';
{$ELSE}
  LsmtpLibrary = 'lsmtp';
{$ENDIF}

  { The library's own result codes, as in lsmtp.h. A result below 400 is
    success, 400 to 699 is the server's refusal. }
  SMTP_ERR_CONNECT = 700;
  SMTP_ERR_SOCKET = 710;
  SMTP_ERR_RECV = 711;
  SMTP_ERR_REPLY = 712;
  SMTP_ERR_TIMEOUT = 713;
  SMTP_ERR_ENCODE_CREATE = 720;
  SMTP_ERR_ATTACH_OPEN = 721;
  SMTP_ERR_WRITE = 730;
  SMTP_ERR_ARGUMENT = 740;
  SMTP_ERR_MEMORY = 750;

  LSMTP_FIRST_FAILURE = 400;
  { A buffer of this many bytes always holds the result's text whole. }
  LSMTP_RESULT_TEXT_SIZE = 1024;

{ stdcall is the DLL's convention on 32-bit Windows; 64-bit Windows has a
  single convention and ignores it. }
function lsmtp_send_mail(smtp_host, subject, body, from_addr, from_header,
  to_list, to_header, cc_list, cc_header, bcc_list, bcc_header, reply_to,
  receipt_to, comments, mailer, attachments: PAnsiChar): Integer;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external LsmtpLibrary name 'lsmtp_send_mail';

{ lsmtp_send_mail, and the result's text in UTF-8 written into result_text:
  at most result_text_size bytes with the closing zero byte. }
function lsmtp_send_mail_ex(smtp_host, subject, body, from_addr, from_header,
  to_list, to_header, cc_list, cc_header, bcc_list, bcc_header, reply_to,
  receipt_to, comments, mailer, attachments, result_text: PAnsiChar;
  result_text_size: Integer): Integer;
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external LsmtpLibrary name 'lsmtp_send_mail_ex';

type
  { One message. Empty fields are not given; SmtpHost, FromAddr and ToList
    are the required ones (an empty FromAddr is the null sender <>). Lists
    (ToList, CcList, BccList, Attachments) hold items separated by ',' or
    ';'. }
  TLsmtpMessage = record
    SmtpHost, Subject, Body, FromAddr, FromHeader, ToList, ToHeader,
    CcList, CcHeader, BccList, BccHeader, ReplyTo, ReceiptTo, Comments,
    Mailer, Attachments: UTF8String;
  end;

  { The message was not sent: Code is the call's result, CodeName its name,
    Detail the library's text of why; Message holds all three. }
  ELsmtpError = class(Exception)
  private
    FCode: Integer;
    FDetail: string;
  public
    constructor CreateCode(ACode: Integer; const ADetail: string = '');
    property Code: Integer read FCode;
    property Detail: string read FDetail;
    function CodeName: string;
  end;

{ The name of a result: SMTP_ERR_* for the library's own codes, otherwise
  what kind of server reply it is. }
function LsmtpCodeName(Code: Integer): string;

{ Sends one message. Returns the server's final reply code (usually 221);
  raises ELsmtpError when the message was not sent. The second form also
  hands back the result's text: who accepted the message and the server's
  reply. }
function LsmtpSend(const Msg: TLsmtpMessage): Integer; overload;
function LsmtpSend(const Msg: TLsmtpMessage; out ResultText: string): Integer; overload;

implementation

function LsmtpCodeName(Code: Integer): string;
begin
  case Code of
    SMTP_ERR_CONNECT: Result := 'SMTP_ERR_CONNECT';
    SMTP_ERR_SOCKET: Result := 'SMTP_ERR_SOCKET';
    SMTP_ERR_RECV: Result := 'SMTP_ERR_RECV';
    SMTP_ERR_REPLY: Result := 'SMTP_ERR_REPLY';
    SMTP_ERR_TIMEOUT: Result := 'SMTP_ERR_TIMEOUT';
    SMTP_ERR_ENCODE_CREATE: Result := 'SMTP_ERR_ENCODE_CREATE';
    SMTP_ERR_ATTACH_OPEN: Result := 'SMTP_ERR_ATTACH_OPEN';
    SMTP_ERR_WRITE: Result := 'SMTP_ERR_WRITE';
    SMTP_ERR_ARGUMENT: Result := 'SMTP_ERR_ARGUMENT';
    SMTP_ERR_MEMORY: Result := 'SMTP_ERR_MEMORY';
  else
    if Code >= SMTP_ERR_CONNECT then
      Result := 'SMTP_ERR_UNKNOWN'
    else if Code >= 500 then
      Result := 'SERVER_REFUSED_PERMANENTLY'
    else if Code >= LSMTP_FIRST_FAILURE then
      Result := 'SERVER_REFUSED_TEMPORARILY'
    else
      Result := 'ACCEPTED';
  end;
end;

constructor ELsmtpError.CreateCode(ACode: Integer; const ADetail: string);
begin
  if ADetail = '' then
    inherited CreateFmt('%d %s', [ACode, LsmtpCodeName(ACode)])
  else
    inherited CreateFmt('%d %s: %s', [ACode, LsmtpCodeName(ACode), ADetail]);
  FCode := ACode;
  FDetail := ADetail;
end;

function ELsmtpError.CodeName: string;
begin
  Result := LsmtpCodeName(FCode);
end;

function LsmtpSend(const Msg: TLsmtpMessage): Integer;
var
  Ignored: string;
begin
  Result := LsmtpSend(Msg, Ignored);
end;

function LsmtpSend(const Msg: TLsmtpMessage; out ResultText: string): Integer;
var
  Buffer: array[0..LSMTP_RESULT_TEXT_SIZE - 1] of AnsiChar;
  Text: UTF8String;
  Used: Integer;
begin
  { PAnsiChar of an empty string is a pointer to a zero byte: "not given"
    for the optional arguments, and an empty FromAddr stays the null
    sender. }
  Result := lsmtp_send_mail_ex(PAnsiChar(Msg.SmtpHost), PAnsiChar(Msg.Subject),
    PAnsiChar(Msg.Body), PAnsiChar(Msg.FromAddr), PAnsiChar(Msg.FromHeader),
    PAnsiChar(Msg.ToList), PAnsiChar(Msg.ToHeader), PAnsiChar(Msg.CcList),
    PAnsiChar(Msg.CcHeader), PAnsiChar(Msg.BccList), PAnsiChar(Msg.BccHeader),
    PAnsiChar(Msg.ReplyTo), PAnsiChar(Msg.ReceiptTo), PAnsiChar(Msg.Comments),
    PAnsiChar(Msg.Mailer), PAnsiChar(Msg.Attachments), @Buffer[0], SizeOf(Buffer));
  Used := 0;
  while (Used < SizeOf(Buffer)) and (Buffer[Used] <> #0) do
    Inc(Used);
  { SetString copies the bytes as they are; the conversion to string then
    reads them as the UTF-8 they are. }
  SetString(Text, PAnsiChar(@Buffer[0]), Used);
  ResultText := string(Text);
  if Result >= LSMTP_FIRST_FAILURE then
    raise ELsmtpError.CreateCode(Result, ResultText);
end;

end.
