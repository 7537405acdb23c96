// A C# program calls lsmtp_send_mail through the DllImport declaration
// shipped in README-windows.txt: strings go over as UTF-8, never through
// an ANSI code page. It sends one message with two attachments to port 25
// of 127.0.0.1, as the Windows host program does.
//
// Usage: SendMail.exe FILE FILE. Prints the call's result and exits 0 when
// it is 221 (the server's answer to QUIT), 1 otherwise.
using System;
using System.Runtime.InteropServices;

static class Lsmtp
{
    [DllImport("lsmtp", CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
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
}

static class SendMail
{
    static int Main(string[] args)
    {
        if (args.Length != 2) {
            Console.Error.WriteLine("usage: SendMail.exe FILE FILE");
            return 2;
        }
        int result = Lsmtp.lsmtp_send_mail("127.0.0.1", "Report from a host program",
            "Hello from the DLL.\r\nSecond line.", "host@windows.test", "Windows Host <host@windows.test>",
            "one@example.test;two@example.test", null, "", null, "", null, null, null, "", null,
            args[0] + ";" + args[1]);
        Console.WriteLine(result);
        return result == 221 ? 0 : 1;
    }
}
