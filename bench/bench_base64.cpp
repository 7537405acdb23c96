// Encodes one file into a new file with the library's base64 file encoder,
// once; bench/run.sh times it as a whole process, as it times coreutils.
// The 1 ms pauses are switched off: they would measure the sleep, not the
// encoder.
#include "submit/encoded_copy.h"
#include "platform/file.h"
#include "platform/seams.h"
#include "portable.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE DESTINATION\n", argv[0]);
        return 2;
    }
    lsmtp::platform::Seams seams;
    seams.pause = [](int) {};
    lsmtp::platform::ScopedSeams no_pauses(std::move(seams));

    lsmtp::platform::File source = lsmtp::platform::open_for_reading(argv[1]).file;
    lsmtp::platform::File destination(lsmtp::test::create_for_writing(argv[2]));
    if (!source.valid() || !destination.valid()) {
        std::fprintf(stderr, "cannot open %s or create %s\n", argv[1], argv[2]);
        return 1;
    }
    if (lsmtp::encode_file_base64(source, destination).result != lsmtp::Base64Result::ok || destination.close()) {
        std::fprintf(stderr, "encoding %s into %s failed\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
