// lsmtp for C#: the library's two functions, its result codes, and Send,
// which throws LsmtpException, telling why, when the message was not sent.
//
// The NuGet package Lsmtp holds this file compiled, with lsmtp.dll for x64
// and x86 Windows and liblsmtp.so.1 for Linux x64, and puts the right one
// beside the program. Without it, add this file to your project and put
// lsmtp.dll of the project's architecture beside the program: build for x86
// with the x86 DLL or for x64 with the x64 DLL (not AnyCPU with the wrong
// one beside it). Works with .NET Framework 4.7 and later, .NET Core, .NET 5
// and later, and Mono. On Linux (Mono or .NET) it loads liblsmtp.so.1: the
// one beside the program, or the one the runtime package liblsmtp1 installs.
//
//     int result = Lsmtp.Send("mail.example.org", "me@example.org", "you@example.org",
//         subject: "Report", body: "See the file.", attachments: @"C:\Reports\report.pdf");
//
// A failure throws LsmtpException, whose Message holds the code, its name
// and the library's text of why, e.g. "550 SERVER_REFUSED_PERMANENTLY:
// 192.0.2.1 refused RCPT TO:<nobody@example.org>: 550 5.1.1 User
// unknown"; its Temporary tells whether sending the same message later may
// succeed. The overload with "out string acceptedText" after the first
// three arguments also hands back who accepted the message and the
// server's reply, which carries its queue id.
//
// Strings go over as UTF-8, so any text and any file name works. null and ""
// both mean "not given" for the optional arguments.
//
// Copyright (c) the lsmtp authors. MIT licence (see LICENSE).
using System;
using System.Runtime.InteropServices;
using System.Text;

/// <summary>lsmtp.dll: sends one e-mail per call over SMTP (port 25).</summary>
public static class Lsmtp
{
    // The library's own result codes, as in lsmtp.h. A result below 400 is
    // success, 400 to 699 is the server's refusal.
    /// <summary>No connection: name not resolved, refused, or not connected within 15 s.</summary>
    public const int SMTP_ERR_CONNECT = 700;
    /// <summary>No socket could be created.</summary>
    public const int SMTP_ERR_SOCKET = 710;
    /// <summary>Reading a reply failed or the server closed the connection.</summary>
    public const int SMTP_ERR_RECV = 711;
    /// <summary>The server's answer is not an SMTP reply, is exactly 400, or is of the wrong class.</summary>
    public const int SMTP_ERR_REPLY = 712;
    /// <summary>No complete reply within 10 s (10 minutes after the message).</summary>
    public const int SMTP_ERR_TIMEOUT = 713;
    /// <summary>The encoded copy of an attachment could not be created.</summary>
    public const int SMTP_ERR_ENCODE_CREATE = 720;
    /// <summary>An attachment is not a readable regular file, or it shrank while read.</summary>
    public const int SMTP_ERR_ATTACH_OPEN = 721;
    /// <summary>Sending the message failed and the server gave no reason.</summary>
    public const int SMTP_ERR_WRITE = 730;
    /// <summary>An argument is missing or unsafe; nothing was sent.</summary>
    public const int SMTP_ERR_ARGUMENT = 740;
    /// <summary>The library ran out of memory; the message was not completed.</summary>
    public const int SMTP_ERR_MEMORY = 750;

    /// <summary>Results below this are success.</summary>
    public const int FirstFailure = 400;

    /// <summary>A buffer of this many bytes always holds the result's text
    /// whole (LSMTP_RESULT_TEXT_SIZE).</summary>
    public const int ResultTextSize = 1024;

    // Windows looks for lsmtp.dll under this name. On Linux it would mean
    // liblsmtp.so, which only the development package has; the runtime
    // package holds the versioned name alone, so Unix systems load that.
    private const string LibraryName = "lsmtp";
    private const string UnixLibraryName = "liblsmtp.so.1";
    private static readonly bool OnUnix = Environment.OSVersion.Platform == PlatformID.Unix;

    /// <summary>lsmtp_send_mail of lsmtp.h.</summary>
    public static int lsmtp_send_mail(string smtp_host, string subject, string body, string from_addr,
                                      string from_header, string to_list, string to_header, string cc_list,
                                      string cc_header, string bcc_list, string bcc_header, string reply_to,
                                      string receipt_to, string comments, string mailer, string attachments)
    {
        // Without a buffer the second function is the first one exactly.
        return lsmtp_send_mail_ex(smtp_host, subject, body, from_addr, from_header, to_list, to_header, cc_list,
                                  cc_header, bcc_list, bcc_header, reply_to, receipt_to, comments, mailer,
                                  attachments, null, 0);
    }

    /// <summary>lsmtp_send_mail_ex of lsmtp.h: lsmtp_send_mail, and the
    /// result's text in UTF-8 written into result_text (at most
    /// result_text_size bytes with the closing zero byte; see Text).</summary>
    public static int lsmtp_send_mail_ex(string smtp_host, string subject, string body, string from_addr,
                                         string from_header, string to_list, string to_header, string cc_list,
                                         string cc_header, string bcc_list, string bcc_header, string reply_to,
                                         string receipt_to, string comments, string mailer, string attachments,
                                         byte[] result_text, int result_text_size)
    {
        if (OnUnix)
            return lsmtp_send_mail_ex_unix(smtp_host, subject, body, from_addr, from_header, to_list, to_header,
                                           cc_list, cc_header, bcc_list, bcc_header, reply_to, receipt_to,
                                           comments, mailer, attachments, result_text, result_text_size);
        return lsmtp_send_mail_ex_named(smtp_host, subject, body, from_addr, from_header, to_list, to_header,
                                        cc_list, cc_header, bcc_list, bcc_header, reply_to, receipt_to, comments,
                                        mailer, attachments, result_text, result_text_size);
    }

    /// <summary>The text lsmtp_send_mail_ex wrote into a buffer: its bytes
    /// up to the first zero byte, read as UTF-8.</summary>
    public static string Text(byte[] result_text)
    {
        int length = Array.IndexOf(result_text, (byte)0);
        return Encoding.UTF8.GetString(result_text, 0, length < 0 ? result_text.Length : length);
    }

    // The two declarations differ in the library's name only. StdCall is
    // the DLL's convention on x86 (as for the Windows API); x64 and other
    // systems have a single convention and ignore it. LPUTF8Str keeps the
    // text away from the ANSI code page, whose "best fit" mapping would
    // silently change characters it cannot spell.
    [DllImport(LibraryName, EntryPoint = "lsmtp_send_mail_ex", CallingConvention = CallingConvention.StdCall,
               ExactSpelling = true)]
    private static extern int lsmtp_send_mail_ex_named(
        [MarshalAs(UnmanagedType.LPUTF8Str)] string smtp_host,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string subject,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string body,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string from_addr,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string from_header,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string to_list,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string to_header,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string cc_list,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string cc_header,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string bcc_list,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string bcc_header,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string reply_to,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string receipt_to,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string comments,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string mailer,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string attachments,
        [Out] byte[] result_text, int result_text_size);

    [DllImport(UnixLibraryName, EntryPoint = "lsmtp_send_mail_ex", CallingConvention = CallingConvention.StdCall,
               ExactSpelling = true)]
    private static extern int lsmtp_send_mail_ex_unix(
        [MarshalAs(UnmanagedType.LPUTF8Str)] string smtp_host,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string subject,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string body,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string from_addr,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string from_header,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string to_list,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string to_header,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string cc_list,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string cc_header,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string bcc_list,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string bcc_header,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string reply_to,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string receipt_to,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string comments,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string mailer,
        [MarshalAs(UnmanagedType.LPUTF8Str)] string attachments,
        [Out] byte[] result_text, int result_text_size);

    /// <summary>Sends one message. Lists (toList, ccList, bccList,
    /// attachments) hold items separated by "," or ";". Returns the
    /// server's final reply code (usually 221); throws LsmtpException
    /// when the message was not sent.</summary>
    public static int Send(string smtpHost, string fromAddr, string toList,
                           string subject = null, string body = null, string attachments = null,
                           string fromHeader = null, string toHeader = null,
                           string ccList = null, string ccHeader = null,
                           string bccList = null, string bccHeader = null,
                           string replyTo = null, string receiptTo = null,
                           string comments = null, string mailer = null)
    {
        string acceptedText;
        return Send(smtpHost, fromAddr, toList, out acceptedText, subject, body, attachments, fromHeader,
                    toHeader, ccList, ccHeader, bccList, bccHeader, replyTo, receiptTo, comments, mailer);
    }

    /// <summary>Send, also handing back in acceptedText who accepted the
    /// message and the server's reply, e.g. "accepted by 192.0.2.1: 250
    /// 2.0.0 Ok: queued as 4F1A2B3C".</summary>
    public static int Send(string smtpHost, string fromAddr, string toList, out string acceptedText,
                           string subject = null, string body = null, string attachments = null,
                           string fromHeader = null, string toHeader = null,
                           string ccList = null, string ccHeader = null,
                           string bccList = null, string bccHeader = null,
                           string replyTo = null, string receiptTo = null,
                           string comments = null, string mailer = null)
    {
        var text = new byte[ResultTextSize];
        int result = lsmtp_send_mail_ex(smtpHost, subject, body, fromAddr, fromHeader, toList, toHeader, ccList,
                                        ccHeader, bccList, bccHeader, replyTo, receiptTo, comments, mailer,
                                        attachments, text, text.Length);
        if (result >= FirstFailure)
            throw new LsmtpException(result, Text(text));
        acceptedText = Text(text);
        return result;
    }

    /// <summary>The name of a result: SMTP_ERR_* for the library's own
    /// codes, otherwise what kind of server reply it is.</summary>
    public static string CodeName(int code)
    {
        switch (code) {
        case SMTP_ERR_CONNECT: return "SMTP_ERR_CONNECT";
        case SMTP_ERR_SOCKET: return "SMTP_ERR_SOCKET";
        case SMTP_ERR_RECV: return "SMTP_ERR_RECV";
        case SMTP_ERR_REPLY: return "SMTP_ERR_REPLY";
        case SMTP_ERR_TIMEOUT: return "SMTP_ERR_TIMEOUT";
        case SMTP_ERR_ENCODE_CREATE: return "SMTP_ERR_ENCODE_CREATE";
        case SMTP_ERR_ATTACH_OPEN: return "SMTP_ERR_ATTACH_OPEN";
        case SMTP_ERR_WRITE: return "SMTP_ERR_WRITE";
        case SMTP_ERR_ARGUMENT: return "SMTP_ERR_ARGUMENT";
        case SMTP_ERR_MEMORY: return "SMTP_ERR_MEMORY";
        }
        if (code >= SMTP_ERR_CONNECT)
            return "SMTP_ERR_UNKNOWN";
        if (code >= 500)
            return "SERVER_REFUSED_PERMANENTLY";
        if (code >= FirstFailure)
            return "SERVER_REFUSED_TEMPORARILY";
        return "ACCEPTED";
    }

    /// <summary>Whether sending the same message later may succeed after
    /// the result <paramref name="code"/>: a 4xx reply, no connection, a
    /// lost connection or no reply in time. A 5xx reply and every other
    /// failure of the library's will fail the same way again.</summary>
    public static bool IsTemporary(int code)
    {
        switch (code) {
        case SMTP_ERR_CONNECT:
        case SMTP_ERR_RECV:
        case SMTP_ERR_TIMEOUT:
        case SMTP_ERR_WRITE:
            return true;
        }
        return code >= FirstFailure && code < 500;
    }
}

/// <summary>The message was not sent: Code is the call's result, CodeName
/// its name (see Lsmtp.CodeName), Detail the library's text of why (the
/// command refused and the server's reply, the system's word, the
/// attachment's path, the argument and the rule it breaks). Message holds
/// all three.</summary>
public class LsmtpException : Exception
{
    /// <summary>The call's result.</summary>
    public int Code { get; }
    /// <summary>The result's name, as Lsmtp.CodeName gives it.</summary>
    public string CodeName { get; }
    /// <summary>The library's text of why the message was not sent.</summary>
    public string Detail { get; }

    /// <summary>Whether sending the same message later may succeed (see
    /// Lsmtp.IsTemporary). A lost connection or a missing reply after the
    /// whole message was sent is temporary, yet the server may have
    /// accepted the message all the same: check before sending it again,
    /// or the recipients may get it twice.</summary>
    public bool Temporary => Lsmtp.IsTemporary(Code);

    /// <summary>The failure <paramref name="code"/>, told by
    /// <paramref name="detail"/>.</summary>
    public LsmtpException(int code, string detail = "")
        : base(code + " " + Lsmtp.CodeName(code) + (string.IsNullOrEmpty(detail) ? "" : ": " + detail))
    {
        Code = code;
        CodeName = Lsmtp.CodeName(code);
        Detail = detail ?? "";
    }
}
