/* The benchmark host for libcurl: one easy handle and one MIME structure
 * per message, and no connection reuse, so that every message is one SMTP
 * session as with lsmtp_send_mail. */
#include "e2e_host.h"

#include <curl/curl.h>
#include <stdio.h>
#include <time.h>

void e2e_prepare(void) { curl_global_init(CURL_GLOBAL_DEFAULT); }

static struct curl_slist *header_lines(void)
{
    char date[64] = "Date: ";
    const time_t now = time(NULL);
    struct tm utc;
    gmtime_r(&now, &utc);
    strftime(date + 6, sizeof date - 6, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    struct curl_slist *headers = curl_slist_append(NULL, date);
    headers = curl_slist_append(headers, "From: sender@bench.test");
    headers = curl_slist_append(headers, "To: rcpt@bench.test");
    return curl_slist_append(headers, "Subject: Benchmark message");
}

static curl_mime *message_mime(CURL *curl, const struct e2e_message *message)
{
    curl_mime *mime = curl_mime_init(curl);
    curl_mimepart *text = curl_mime_addpart(mime);
    curl_mime_data(text, message->body, CURL_ZERO_TERMINATED);
    curl_mime_type(text, "text/plain");
    if (message->attachment != NULL) {
        curl_mimepart *file = curl_mime_addpart(mime);
        curl_mime_filedata(file, message->attachment);
        curl_mime_type(file, "application/octet-stream");
        curl_mime_encoder(file, "base64");
    }
    return mime;
}

int e2e_send(const struct e2e_message *message)
{
    CURL *curl = curl_easy_init();
    if (curl == NULL)
        return 1;
    struct curl_slist *recipients = curl_slist_append(NULL, "<rcpt@bench.test>");
    struct curl_slist *headers = header_lines();
    curl_mime *mime = message_mime(curl, message);
    curl_easy_setopt(curl, CURLOPT_URL, "smtp://127.0.0.1:25");
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, "<sender@bench.test>");
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK)
        fprintf(stderr, "curl: %s\n", curl_easy_strerror(result));
    curl_mime_free(mime);
    curl_slist_free_all(headers);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);
    return result == CURLE_OK ? 0 : 1;
}
