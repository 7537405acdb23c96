// A C# program sends through the shipped binding (bindings/csharp/Lsmtp.cs):
// one message with two attachments to port 25 of 127.0.0.1, as the Windows
// host program does, and one message the library refuses, which must come
// back as an LsmtpException carrying the code, its name and the text that
// names the argument, and one to 127.0.0.2, where nothing listens: a
// refused connection, worth trying again, unlike the refused argument.
//
// Usage: SendMail.exe FILE FILE. Prints the result of the message that is
// sent, and its text on standard error, and exits 0 when it is 221 (the
// server's answer to QUIT), 1 otherwise.
using System;

static class SendMail
{
    static int Main(string[] args)
    {
        if (args.Length != 2) {
            Console.Error.WriteLine("usage: SendMail.exe FILE FILE");
            return 2;
        }
        // A line break that is no fold would start a header of its own.
        try {
            Lsmtp.Send("127.0.0.1", "host@windows.test", "one@example.test", subject: "Hi\r\nBcc: x@example.test");
            Console.Error.WriteLine("an unsafe subject was not refused");
            return 1;
        } catch (LsmtpException refused) {
            if (refused.Code != Lsmtp.SMTP_ERR_ARGUMENT || refused.CodeName != "SMTP_ERR_ARGUMENT" ||
                !refused.Detail.Contains("subject") || refused.Message != "740 SMTP_ERR_ARGUMENT: " + refused.Detail ||
                refused.Temporary) {
                Console.Error.WriteLine("refused with " + refused.Message);
                return 1;
            }
        }
        try {
            Lsmtp.Send("127.0.0.2", "host@windows.test", "one@example.test");
            Console.Error.WriteLine("a send to 127.0.0.2 did not fail");
            return 1;
        } catch (LsmtpException unreached) {
            if (unreached.Code != Lsmtp.SMTP_ERR_CONNECT || !unreached.Temporary) {
                Console.Error.WriteLine("127.0.0.2 failed with " + unreached.Message + ", temporary: " + unreached.Temporary);
                return 1;
            }
        }
        string accepted;
        int result = Lsmtp.Send("127.0.0.1", "host@windows.test", "one@example.test;two@example.test", out accepted,
            subject: "Report from a host program", body: "Hello from the DLL.\r\nSecond line.",
            attachments: args[0] + ";" + args[1], fromHeader: "Windows Host <host@windows.test>", ccList: "",
            comments: "");
        Console.WriteLine(result);
        Console.Error.WriteLine(accepted);
        // The server's reply to the end of the message, as the server wrote it.
        if (!accepted.EndsWith(": 250 OK")) {
            Console.Error.WriteLine("accepted with " + accepted);
            return 1;
        }
        return result == 221 ? 0 : 1;
    }
}
