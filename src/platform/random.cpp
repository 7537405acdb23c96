// The random source's front: the test seams first, then the system's; and
// the process mark kept per thread.
#include "platform/random.h"

#include "platform/backend.h"
#include "platform/seams.h"

namespace lsmtp::platform {
namespace {

// False when the system gave no random bytes (the mark then has none).
bool draw_mark(ProcessMark &mark)
{
    mark.process = process_id();
    mark.random = 0;
    unsigned char bytes[sizeof mark.random] = {};
    if (fill_random(bytes, sizeof bytes))
        return false;
    for (const unsigned char byte : bytes)
        mark.random = mark.random << 8 | byte;
    return true;
}

} // namespace

Failure fill_random(unsigned char *out, std::size_t size)
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->random_bytes) {
        seams->random_bytes(out, size);
        return {};
    }
    return backend::fill_random(out, size);
}

std::uint32_t process_id()
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->process_id)
        return seams->process_id();
    return backend::process_id();
}

ProcessMark process_mark()
{
    ProcessMark fresh;
    if (const Seams *seams = current_seams(); seams != nullptr && (seams->process_id || seams->random_bytes)) {
        draw_mark(fresh);
        return fresh;
    }
    const std::optional<std::uint64_t> generation = fork_generation();
    if (!generation) {
        draw_mark(fresh);
        return fresh;
    }
    // Per thread, so that no lock is needed; a thread's first message pays
    // for the draw. Plain values: nothing to construct or destroy per thread.
    thread_local bool kept = false;
    thread_local std::uint64_t kept_generation = 0;
    thread_local ProcessMark mark;
    if (!kept || kept_generation != *generation) {
        // A mark without random bytes is not kept: the next call tries again.
        kept = draw_mark(mark);
        kept_generation = *generation;
    }
    return mark;
}

} // namespace lsmtp::platform
