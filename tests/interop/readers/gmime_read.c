/* Reads delivered messages with GMime and prints what a GMime-based mail
 * program shows of each: the subject, every address of the address headers
 * with its display name, the body text and each attachment's name and
 * bytes. Output is line based, every value hex-encoded (check.py reads it):
 *
 *   file <path as given>
 *   subject <text>
 *   address <header> <display name> <address>
 *   body <text>
 *   attachment <name> <bytes>
 *   end
 *
 *   gmime-read FILE...
 */
#include <gmime/gmime.h>

#include <fcntl.h>
#include <stdio.h>
#include <string.h>

static void put_hex(const unsigned char *data, size_t size)
{
    putchar(' ');
    if (size == 0)
        putchar('-');
    for (size_t i = 0; i < size; ++i)
        printf("%02x", data[i]);
}

static void put_text(const char *text) { put_hex((const unsigned char *) (text ? text : ""), text ? strlen(text) : 0); }

static void put_addresses(const char *header, InternetAddressList *list)
{
    for (int i = 0; list && i < internet_address_list_length(list); ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            put_addresses(header, internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
            continue;
        }
        printf("address %s", header);
        put_text(internet_address_get_name(address));
        put_text(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
        putchar('\n');
    }
}

/* The decoded content of a leaf part. */
static GByteArray *content_of(GMimePart *part)
{
    GMimeStream *memory = g_mime_stream_mem_new();
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (content)
        g_mime_data_wrapper_write_to_stream(content, memory);
    GByteArray *bytes = g_byte_array_new();
    g_byte_array_append(bytes, g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory))->data,
                        g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory))->len);
    g_object_unref(memory);
    return bytes;
}

static void put_part(GMimeObject *parent, GMimeObject *object, gpointer unused)
{
    (void) parent;
    (void) unused;
    if (!GMIME_IS_PART(object))
        return;
    GMimePart *part = GMIME_PART(object);
    if (!g_mime_part_is_attachment(part) && GMIME_IS_TEXT_PART(object)) {
        /* The text as a program displays it: converted from its charset. */
        char *text = g_mime_text_part_get_text(GMIME_TEXT_PART(object));
        printf("body");
        put_text(text);
        putchar('\n');
        g_free(text);
        return;
    }
    GByteArray *bytes = content_of(part);
    printf("attachment");
    put_text(g_mime_part_get_filename(part));
    put_hex(bytes->data, bytes->len);
    putchar('\n');
    g_byte_array_free(bytes, TRUE);
}

static int read_message(const char *path)
{
    GError *error = NULL;
    GMimeStream *stream = g_mime_stream_fs_open(path, O_RDONLY, 0, &error);
    if (!stream) {
        fprintf(stderr, "gmime-read: %s: %s\n", path, error->message);
        g_error_free(error);
        return 1;
    }
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage *message = g_mime_parser_construct_message(parser, NULL);
    g_object_unref(parser);
    g_object_unref(stream);
    if (!message) {
        fprintf(stderr, "gmime-read: %s: not a message\n", path);
        return 1;
    }
    printf("file");
    put_text(path);
    printf("\nsubject");
    put_text(g_mime_message_get_subject(message));
    putchar('\n');
    put_addresses("From", g_mime_message_get_from(message));
    put_addresses("Sender", g_mime_message_get_sender(message));
    put_addresses("Reply-To", g_mime_message_get_reply_to(message));
    put_addresses("To", g_mime_message_get_to(message));
    put_addresses("Cc", g_mime_message_get_cc(message));
    put_addresses("Bcc", g_mime_message_get_bcc(message));
    g_mime_message_foreach(message, put_part, NULL);
    printf("end\n");
    g_object_unref(message);
    return 0;
}

int main(int argc, char **argv)
{
    int failed = 0;
    g_mime_init();
    for (int i = 1; i < argc; ++i)
        failed |= read_message(argv[i]);
    g_mime_shutdown();
    return failed;
}
