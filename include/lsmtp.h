/*
 * lsmtp: send one e-mail per call over SMTP (port 25).
 *
 * lsmtp_send_mail() connects to port 25 of smtp_host, runs one SMTP session
 * (HELO, MAIL FROM, one RCPT TO per recipient, DATA, QUIT) and sends a MIME
 * multipart/mixed message: an optional text/plain body part followed by one
 * base64 part per attached file.
 *
 * Result: the reply code the server gave to QUIT (221 from a usual server)
 * once the message was accepted; the first server reply code above 400 that
 * stopped the session; or one of the SMTP_ERR_* codes below. Values up to
 * 400 mean success.
 *
 * Address lists hold addresses separated by "," or ";"; empty pieces are
 * skipped, the pieces are not trimmed. An optional argument counts only when
 * it is non-null and non-empty. Required arguments may be empty but not null.
 *
 * Header values are written as given; a CR or LF in them is allowed only as
 * a fold (CR LF followed by a space or a tab). The header overrides
 * (to_header, cc_header, bcc_header) never reach the envelope, and the Bcc
 * line is written only from bcc_header, so that bcc_list stays blind.
 * Attachments are regular files named in a list like the address lists;
 * each is encoded into a private temporary copy beside it (or in the
 * temporary folder) that is deleted before the call returns.
 *
 * The call blocks until the session ends (connect wait 15 s, 10 s per reply)
 * and may be made from several threads at once. It keeps no pointer to any
 * argument and changes none of them. On Windows the host initialises Windows
 * Sockets before the first call.
 */
#ifndef LSMTP_H
#define LSMTP_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(LSMTP_BUILDING_DLL)
#    define LSMTP_API __declspec(dllexport)
#  elif defined(LSMTP_STATIC)
#    define LSMTP_API
#  else
#    define LSMTP_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define LSMTP_API __attribute__((visibility("default")))
#else
#  define LSMTP_API
#endif

#define SMTP_ERR_CONNECT        700 /* name not resolved, refused, or no connection within 15 s */
#define SMTP_ERR_SOCKET         710 /* no socket could be created */
#define SMTP_ERR_RECV           711 /* reading a reply failed or the server closed the connection */
#define SMTP_ERR_REPLY          712 /* the server's answer is not an SMTP reply */
#define SMTP_ERR_TIMEOUT        713 /* no complete reply within 10 s */
#define SMTP_ERR_ENCODE_CREATE  720 /* the encoded copy of an attachment could not be created */
#define SMTP_ERR_ATTACH_OPEN    721 /* an attachment (or its encoded copy) is not a readable regular file */
#define SMTP_ERR_WRITE          730 /* writing a header value or the body failed */
#define SMTP_ERR_ARGUMENT       740 /* an argument is missing or unsafe; nothing was sent */
#define SMTP_ERR_MEMORY         750 /* the library ran out of memory; the message was not completed */

LSMTP_API int lsmtp_send_mail(const char *smtp_host,
                              const char *subject,
                              const char *body,
                              const char *from_addr,
                              const char *from_header,
                              const char *to_list,
                              const char *to_header,
                              const char *cc_list,
                              const char *cc_header,
                              const char *bcc_list,
                              const char *bcc_header,
                              const char *reply_to,
                              const char *receipt_to,
                              const char *comments,
                              const char *mailer,
                              const char *attachments);

#ifdef __cplusplus
}
#endif

#endif /* LSMTP_H */
