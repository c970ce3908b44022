// avsync_play PCM START
//   Plays PCM (signed 16-bit little-endian mono, 48000 samples per second) into the
//   default PulseAudio sink on the wall clock: sample n is heard (rendered by the sink,
//   where its monitor source takes it up as a microphone would the sound in the room)
//   at START + n / 48000 s, START being CLOCK_REALTIME seconds with decimals as the
//   camera emulator's movie-start takes them. Before START and after the end it plays
//   silence; it ends one second after the end, or on SIGTERM or SIGINT.
//
//   The stream's playback latency (what the sink still holds and its own delay) is
//   asked before every 10 ms block, so the block is taken from the place the sink will
//   be at when it plays it; a difference of more than 5 ms is a jump (counted and
//   printed at the end: a few at the start, none later when the server keeps up).

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = kRate / 100;
constexpr std::int64_t kJumpSamples = kRate / 200;
volatile std::sig_atomic_t g_stop = 0;

std::int64_t nowNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: avsync_play PCM START\n");
        return 2;
    }
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    if (pcm.empty()) {
        std::fprintf(stderr, "avsync_play: no sound in %s\n", argv[1]);
        return 1;
    }
    const long double startS = std::strtold(argv[2], nullptr);
    // The start on the monotonic clock (the clock PulseAudio and the camera's frames use).
    const std::int64_t startMonoNs =
        std::int64_t(std::llround(startS * 1e9L)) - (nowNs(CLOCK_REALTIME) - nowNs(CLOCK_MONOTONIC));

    pa_sample_spec format{PA_SAMPLE_S16LE, kRate, 1};
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    // 200 ms in the server: a busy machine does not run it dry (the latency is
    // accounted for, whatever it is).
    attr.tlength = std::uint32_t(pa_usec_to_bytes(200000, &format));
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = std::uint32_t(pa_usec_to_bytes(20000, &format));
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "avsync", PA_STREAM_PLAYBACK, nullptr, "reference sound",
                                      &format, nullptr, &attr, &error);
    if (!stream) {
        std::fprintf(stderr, "avsync_play: %s\n", pa_strerror(error));
        return 1;
    }
    const std::int64_t total = std::int64_t(pcm.size());
    std::int64_t position = INT64_MIN; // the sample the next block starts with
    int jumps = 0, blocks = 0;
    std::vector<std::int16_t> block(kBlock);
    while (!g_stop && (position == INT64_MIN || position < total + kRate)) {
        const pa_usec_t latency = pa_simple_get_latency(stream, &error);
        const std::int64_t heardNs =
            nowNs(CLOCK_MONOTONIC) + (latency == pa_usec_t(-1) ? 0 : std::int64_t(latency) * 1000);
        const std::int64_t wanted = (heardNs - startMonoNs) * kRate / 1000000000;
        // Until the stream plays (its first blocks fill the prebuffer) its latency says
        // little: the position follows it without counting.
        if (position == INT64_MIN || std::llabs(wanted - position) > kJumpSamples) {
            if (position != INT64_MIN && blocks > 20) ++jumps;
            position = wanted;
        }
        for (int i = 0; i < kBlock; ++i) {
            const std::int64_t n = position + i;
            block[std::size_t(i)] = n >= 0 && n < total ? pcm[std::size_t(n)] : 0;
        }
        if (pa_simple_write(stream, block.data(), block.size() * 2, &error) < 0) {
            std::fprintf(stderr, "avsync_play: %s\n", pa_strerror(error));
            pa_simple_free(stream);
            return 1;
        }
        position += kBlock;
        ++blocks;
    }
    if (!g_stop) pa_simple_drain(stream, &error);
    pa_simple_free(stream);
    std::printf("avsync_play: %d blocks, %d jumps of more than 5 ms after the first 200 ms\n", blocks, jumps);
    return 0;
}
