// lsmtp for C#: the declaration of lsmtp_send_mail, the library's result
// codes, and Send, which throws LsmtpException when the message was not sent.
//
// Add this file to your project and put lsmtp.dll of the project's
// architecture beside the program: build for x86 with the x86 DLL or for x64
// with the x64 DLL (not AnyCPU with the wrong one beside it). Works with
// .NET Framework 4.7 and later, .NET Core, .NET 5 and later, and Mono (which
// loads liblsmtp.so on Linux under the same name).
//
//     int result = Lsmtp.Send("mail.example.org", "me@example.org", "you@example.org",
//         subject: "Report", body: "See the file.", attachments: @"C:\Reports\report.pdf");
//
// Strings go over as UTF-8, so any text and any file name works. null and ""
// both mean "not given" for the optional arguments.
//
// Copyright (c) the lsmtp authors. MIT licence (see LICENSE).
using System;
using System.Runtime.InteropServices;

/// <summary>lsmtp.dll: sends one e-mail per call over SMTP (port 25).</summary>
public static class Lsmtp
{
    // The library's own result codes, as in lsmtp.h. A result below 400 is
    // success, 400 to 699 is the server's refusal.
    public const int SMTP_ERR_CONNECT = 700;
    public const int SMTP_ERR_SOCKET = 710;
    public const int SMTP_ERR_RECV = 711;
    public const int SMTP_ERR_REPLY = 712;
    public const int SMTP_ERR_TIMEOUT = 713;
    public const int SMTP_ERR_ENCODE_CREATE = 720;
    public const int SMTP_ERR_ATTACH_OPEN = 721;
    public const int SMTP_ERR_WRITE = 730;
    public const int SMTP_ERR_ARGUMENT = 740;
    public const int SMTP_ERR_MEMORY = 750;

    /// <summary>Results below this are success.</summary>
    public const int FirstFailure = 400;

    // StdCall is the DLL's convention on x86 (as for the Windows API); x64 and
    // other systems have a single convention and ignore it. LPUTF8Str keeps
    // the text away from the ANSI code page, whose "best fit" mapping would
    // silently change characters it cannot spell.
    [DllImport("lsmtp", EntryPoint = "lsmtp_send_mail", CallingConvention = CallingConvention.StdCall,
               ExactSpelling = true)]
    public static extern int lsmtp_send_mail(
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
        [MarshalAs(UnmanagedType.LPUTF8Str)] string attachments);

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
        int result = lsmtp_send_mail(smtpHost, subject, body, fromAddr, fromHeader, toList, toHeader, ccList,
                                     ccHeader, bccList, bccHeader, replyTo, receiptTo, comments, mailer,
                                     attachments);
        if (result >= FirstFailure)
            throw new LsmtpException(result);
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
}

/// <summary>The message was not sent: Code is the call's result, CodeName
/// its name (see Lsmtp.CodeName).</summary>
public class LsmtpException : Exception
{
    public int Code { get; }
    public string CodeName { get; }

    public LsmtpException(int code)
        : base("lsmtp_send_mail failed: " + code + " " + Lsmtp.CodeName(code))
    {
        Code = code;
        CodeName = Lsmtp.CodeName(code);
    }
}
