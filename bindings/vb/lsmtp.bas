Attribute VB_Name = "Lsmtp"
' lsmtp for VB6 and VBA: the declaration of lsmtp_send_mail, the library's
' result codes, and LsmtpSendUtf8 for text beyond the ANSI code page and for
' the result's text.
'
' Import this module (File > Import File) and put lsmtp.dll where the host
' finds it: next to the program (for Office: on the PATH), or write its full
' path after Lib below. VB6 and 32-bit Office need the x86 DLL, 64-bit
' Office the x64 DLL.
'
' lsmtp_send_mail hands each String over in the ANSI code page, which the
' library reads as such; vbNullString and "" both mean "not given" for the
' optional arguments:
'
'     Result = lsmtp_send_mail("mail.example.org", "Report", "See the file.", _
'         "me@example.org", "", "you@example.org", "", "", "", "", "", "", _
'         "", "", "", "C:\Reports\report.pdf")
'
' LsmtpSendUtf8 takes the same arguments, converts each to UTF-8 first and
' so reaches any text and any file name; the arguments after ToList may be
' left out or named:
'
'     Result = LsmtpSendUtf8("mail.example.org", "Report", "See the file.", _
'         "me@example.org", "", "you@example.org", Attachments:="C:\Reports\report.pdf", _
'         ResultText:=Why)
'
' It calls lsmtp_send_mail_ex and hands back in ResultText (optional) the
' library's text of the result: who accepted the message and the server's
' reply, or why it was not sent, e.g. "192.0.2.1 refused
' RCPT TO:<nobody@example.org>: 550 5.1.1 User unknown".
'
' A result below LSMTP_FIRST_FAILURE (400) is success; 400 to 699 is the
' server's refusal; 700 and up is one of the SMTP_ERR_* codes below.
'
' Copyright (c) the lsmtp authors. MIT licence (see LICENSE).
Option Explicit

Public Const LSMTP_FIRST_FAILURE As Long = 400

' The library's own result codes, as in lsmtp.h.
Public Const SMTP_ERR_CONNECT As Long = 700
Public Const SMTP_ERR_SOCKET As Long = 710
Public Const SMTP_ERR_RECV As Long = 711
Public Const SMTP_ERR_REPLY As Long = 712
Public Const SMTP_ERR_TIMEOUT As Long = 713
Public Const SMTP_ERR_ENCODE_CREATE As Long = 720
Public Const SMTP_ERR_ATTACH_OPEN As Long = 721
Public Const SMTP_ERR_WRITE As Long = 730
Public Const SMTP_ERR_ARGUMENT As Long = 740
Public Const SMTP_ERR_MEMORY As Long = 750

' A buffer of this many bytes always holds the result's text whole.
Public Const LSMTP_RESULT_TEXT_SIZE As Long = 1024

Private Const CP_UTF8 As Long = 65001

' The DLL is __stdcall on x86, as Declare expects. 64-bit Office needs
' PtrSafe and LongPtr; VB6 and 32-bit Office before 2010 take the #Else
' branch.
#If VBA7 Then
Public Declare PtrSafe Function lsmtp_send_mail Lib "lsmtp.dll" ( _
    ByVal smtp_host As String, ByVal subject As String, ByVal body As String, _
    ByVal from_addr As String, ByVal from_header As String, ByVal to_list As String, _
    ByVal to_header As String, ByVal cc_list As String, ByVal cc_header As String, _
    ByVal bcc_list As String, ByVal bcc_header As String, ByVal reply_to As String, _
    ByVal receipt_to As String, ByVal comments As String, ByVal mailer As String, _
    ByVal attachments As String) As Long
Private Declare PtrSafe Function lsmtp_send_mail_ex_utf8 Lib "lsmtp.dll" Alias "lsmtp_send_mail_ex" ( _
    ByVal smtp_host As LongPtr, ByVal subject As LongPtr, ByVal body As LongPtr, _
    ByVal from_addr As LongPtr, ByVal from_header As LongPtr, ByVal to_list As LongPtr, _
    ByVal to_header As LongPtr, ByVal cc_list As LongPtr, ByVal cc_header As LongPtr, _
    ByVal bcc_list As LongPtr, ByVal bcc_header As LongPtr, ByVal reply_to As LongPtr, _
    ByVal receipt_to As LongPtr, ByVal comments As LongPtr, ByVal mailer As LongPtr, _
    ByVal attachments As LongPtr, ByVal result_text As LongPtr, ByVal result_text_size As Long) As Long
Private Declare PtrSafe Function WideCharToMultiByte Lib "kernel32" ( _
    ByVal CodePage As Long, ByVal dwFlags As Long, ByVal lpWideCharStr As LongPtr, _
    ByVal cchWideChar As Long, ByVal lpMultiByteStr As LongPtr, ByVal cbMultiByte As Long, _
    ByVal lpDefaultChar As LongPtr, ByVal lpUsedDefaultChar As LongPtr) As Long
Private Declare PtrSafe Function MultiByteToWideChar Lib "kernel32" ( _
    ByVal CodePage As Long, ByVal dwFlags As Long, ByVal lpMultiByteStr As LongPtr, _
    ByVal cbMultiByte As Long, ByVal lpWideCharStr As LongPtr, ByVal cchWideChar As Long) As Long
#Else
Public Declare Function lsmtp_send_mail Lib "lsmtp.dll" ( _
    ByVal smtp_host As String, ByVal subject As String, ByVal body As String, _
    ByVal from_addr As String, ByVal from_header As String, ByVal to_list As String, _
    ByVal to_header As String, ByVal cc_list As String, ByVal cc_header As String, _
    ByVal bcc_list As String, ByVal bcc_header As String, ByVal reply_to As String, _
    ByVal receipt_to As String, ByVal comments As String, ByVal mailer As String, _
    ByVal attachments As String) As Long
Private Declare Function lsmtp_send_mail_ex_utf8 Lib "lsmtp.dll" Alias "lsmtp_send_mail_ex" ( _
    ByVal smtp_host As Long, ByVal subject As Long, ByVal body As Long, _
    ByVal from_addr As Long, ByVal from_header As Long, ByVal to_list As Long, _
    ByVal to_header As Long, ByVal cc_list As Long, ByVal cc_header As Long, _
    ByVal bcc_list As Long, ByVal bcc_header As Long, ByVal reply_to As Long, _
    ByVal receipt_to As Long, ByVal comments As Long, ByVal mailer As Long, _
    ByVal attachments As Long, ByVal result_text As Long, ByVal result_text_size As Long) As Long
Private Declare Function WideCharToMultiByte Lib "kernel32" ( _
    ByVal CodePage As Long, ByVal dwFlags As Long, ByVal lpWideCharStr As Long, _
    ByVal cchWideChar As Long, ByVal lpMultiByteStr As Long, ByVal cbMultiByte As Long, _
    ByVal lpDefaultChar As Long, ByVal lpUsedDefaultChar As Long) As Long
Private Declare Function MultiByteToWideChar Lib "kernel32" ( _
    ByVal CodePage As Long, ByVal dwFlags As Long, ByVal lpMultiByteStr As Long, _
    ByVal cbMultiByte As Long, ByVal lpWideCharStr As Long, ByVal cchWideChar As Long) As Long
#End If

' lsmtp_send_mail with every String converted to UTF-8 (WideCharToMultiByte,
' CP_UTF8), for text the ANSI code page cannot spell; ResultText receives
' the result's text.
Public Function LsmtpSendUtf8(ByVal SmtpHost As String, ByVal Subject As String, ByVal Body As String, _
    ByVal FromAddr As String, ByVal FromHeader As String, ByVal ToList As String, _
    Optional ByVal ToHeader As String, Optional ByVal CcList As String, Optional ByVal CcHeader As String, _
    Optional ByVal BccList As String, Optional ByVal BccHeader As String, Optional ByVal ReplyTo As String, _
    Optional ByVal ReceiptTo As String, Optional ByVal Comments As String, Optional ByVal Mailer As String, _
    Optional ByVal Attachments As String, Optional ByRef ResultText As String) As Long
    Dim Reply(LSMTP_RESULT_TEXT_SIZE - 1) As Byte
    Dim Texts As Variant
    Dim Text As String
    Dim Buffer() As Byte
    Dim Offsets(15) As Long
    Dim Used As Long
    Dim I As Long

    Texts = Array(SmtpHost, Subject, Body, FromAddr, FromHeader, ToList, ToHeader, CcList, CcHeader, _
        BccList, BccHeader, ReplyTo, ReceiptTo, Comments, Mailer, Attachments)
    ' All sixteen texts go into one buffer, each followed by a zero byte;
    ' first their sizes in UTF-8 and their places.
    For I = 0 To 15
        Text = Texts(I)
        Offsets(I) = Used
        If Len(Text) > 0 Then Used = Used + WideCharToMultiByte(CP_UTF8, 0, StrPtr(Text), Len(Text), 0, 0, 0, 0)
        Used = Used + 1
    Next
    ' ReDim fills the buffer with zero bytes: the terminators are in place.
    ReDim Buffer(Used - 1)
    For I = 0 To 15
        Text = Texts(I)
        If Len(Text) > 0 Then
            WideCharToMultiByte CP_UTF8, 0, StrPtr(Text), Len(Text), VarPtr(Buffer(Offsets(I))), Used - Offsets(I), 0, 0
        End If
    Next
    LsmtpSendUtf8 = lsmtp_send_mail_ex_utf8(VarPtr(Buffer(Offsets(0))), VarPtr(Buffer(Offsets(1))), _
        VarPtr(Buffer(Offsets(2))), VarPtr(Buffer(Offsets(3))), VarPtr(Buffer(Offsets(4))), _
        VarPtr(Buffer(Offsets(5))), VarPtr(Buffer(Offsets(6))), VarPtr(Buffer(Offsets(7))), _
        VarPtr(Buffer(Offsets(8))), VarPtr(Buffer(Offsets(9))), VarPtr(Buffer(Offsets(10))), _
        VarPtr(Buffer(Offsets(11))), VarPtr(Buffer(Offsets(12))), VarPtr(Buffer(Offsets(13))), _
        VarPtr(Buffer(Offsets(14))), VarPtr(Buffer(Offsets(15))), VarPtr(Reply(0)), LSMTP_RESULT_TEXT_SIZE)
    ResultText = Utf8Text(Reply)
End Function

' The UTF-8 text in Bytes up to its first zero byte, as a String.
Private Function Utf8Text(Bytes() As Byte) As String
    Dim Length As Long
    Dim Characters As Long
    Dim Text As String

    ' VB's And evaluates both sides: the bound is tested before the byte.
    Do While Length <= UBound(Bytes)
        If Bytes(Length) = 0 Then Exit Do
        Length = Length + 1
    Loop
    If Length = 0 Then Exit Function
    Characters = MultiByteToWideChar(CP_UTF8, 0, VarPtr(Bytes(0)), Length, 0, 0)
    Text = String$(Characters, vbNullChar)
    MultiByteToWideChar CP_UTF8, 0, VarPtr(Bytes(0)), Length, StrPtr(Text), Characters
    Utf8Text = Text
End Function
