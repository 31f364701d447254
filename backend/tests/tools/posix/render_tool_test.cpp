// tessaline-render as its users run it: a whole song to a playable WAV file,
// the same bytes on any number of threads, a progress line only on a
// terminal, and every failure (unreadable input, a full disk) an error
// exit with a message rather than a file reported done.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "font/sf2_writer.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int code = -1;
    std::string err; // stderr, and stdout with it
};

std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> v;
    for (std::string& a : args) v.push_back(a.data());
    v.push_back(nullptr);
    return v;
}

std::string ReadAll(int fd) {
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) out.append(buf, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else break; // end, or EIO once the terminal's other side has gone
    }
    return out;
}

int Reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the tool with its output on a pipe, or on a terminal of its own.
Outcome Tool(std::vector<std::string> args, bool terminal = false) {
    args.insert(args.begin(), TSL_RENDER_TOOL);
    std::vector<char*> argv = Argv(args);
    Outcome r;
    if (terminal) {
        int master = -1;
        const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid < 0) return r;
        if (pid == 0) {
            execv(argv[0], argv.data());
            _exit(127);
        }
        r.err = ReadAll(master);
        close(master);
        r.code = Reap(pid);
        return r;
    }
    int p[2];
    if (pipe(p) != 0) return r;
    const pid_t pid = fork();
    if (pid < 0) return r;
    if (pid == 0) {
        dup2(p[1], 1);
        dup2(p[1], 2);
        close(p[0]);
        close(p[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(p[1]);
    r.err = ReadAll(p[0]);
    close(p[0]);
    r.code = Reap(pid);
    return r;
}

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tessaline-render-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        font_ = Write("sine.sf2", SineFont());
        song_ = Write("cluster.mid", Cluster());
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    std::string Out(const std::string& name) const { return (dir_ / name).string(); }

    // One looped sine (a 100-frame period) under every key of program 0.
    static std::vector<uint8_t> SineFont() {
        sf2test::TFont f;
        sf2test::TSample s;
        s.data = sf2test::Sine(4400, 100, 8000);
        s.loopStart = 100;
        s.loopEnd = 4400;
        s.rate = 44100;
        s.pitch = 69; // 441 Hz at its root
        f.samples.push_back(s);
        sf2test::Zone z;
        z.gens = {sf2test::Val(54, 1), sf2test::Val(38, -3600), sf2test::Val(53, 0)}; // looped, a 125 ms release
        f.insts.push_back(sf2test::TInst{"sine", {z}});
        sf2test::TPreset p;
        p.name = "sine";
        p.zones.push_back(sf2test::Zone{{sf2test::Val(41, 0)}, {}});
        f.presets.push_back(p);
        return sf2test::Build(f);
    }

    // Format 0 at 480 ticks a beat and 120 beats a minute (a tick is 1/960 s):
    // 16 channels of 12 keys each at once (192 voices, more than one chunk of
    // voices, so that extra threads have work), a volume change on every
    // channel a quarter of a second in (cutting the render's blocks off their
    // grid), all released at half a second, the end of the track at 0.6 s.
    static std::vector<uint8_t> Cluster() {
        std::vector<uint8_t> t;
        auto ev = [&](uint32_t delta, std::initializer_list<uint8_t> bytes) {
            uint8_t v[4];
            int n = 0;
            v[n++] = delta & 0x7f;
            while (delta >>= 7) v[n++] = 0x80 | (delta & 0x7f);
            while (n) t.push_back(v[--n]);
            t.insert(t.end(), bytes);
        };
        for (uint8_t c = 0; c < 16; ++c)
            for (uint8_t k = 0; k < 12; ++k) ev(0, {static_cast<uint8_t>(0x90 | c), static_cast<uint8_t>(48 + 3 * k), 90});
        for (uint8_t c = 0; c < 16; ++c) ev(c == 0 ? 240 : 0, {static_cast<uint8_t>(0xB0 | c), 7, 70});
        for (uint8_t c = 0; c < 16; ++c)
            for (uint8_t k = 0; k < 12; ++k)
                ev(c == 0 && k == 0 ? 240 : 0, {static_cast<uint8_t>(0x80 | c), static_cast<uint8_t>(48 + 3 * k), 0});
        ev(96, {0xFF, 0x2F, 0x00});
        std::vector<uint8_t> m = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
        const uint32_t len = static_cast<uint32_t>(t.size());
        for (int s = 24; s >= 0; s -= 8) m.push_back(static_cast<uint8_t>(len >> s));
        m.insert(m.end(), t.begin(), t.end());
        return m;
    }

    fs::path dir_;
    std::string font_, song_;
};

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

TEST_F(RenderTool, WritesTheWholeSongAsAWaveTheSameOnEveryThreadCount) {
    const Outcome one = Tool({"--threads", "1", "-f", font_, "-o", Out("one.wav"), song_});
    ASSERT_EQ(one.code, 0) << one.err;
    const std::vector<uint8_t> w = Bytes(Out("one.wav"));
    ASSERT_GT(w.size(), 44u);
    EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
    EXPECT_EQ(U32(w, 4), w.size() - 8);
    EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(U16(w, 20), 1);      // PCM
    EXPECT_EQ(U16(w, 22), 2);      // stereo
    EXPECT_EQ(U32(w, 24), 48000u); // the default rate
    EXPECT_EQ(U16(w, 34), 16);
    EXPECT_EQ(std::string(w.begin() + 36, w.begin() + 40), "data");
    const uint32_t data = U32(w, 40);
    EXPECT_EQ(data, w.size() - 44);
    // The song's 0.6 s and the reverb's ringing out after it.
    const double seconds = data / 4.0 / 48000.0;
    EXPECT_GE(seconds, 0.6);
    EXPECT_LT(seconds, 6.0);
    // Sounding while the keys are down, silent at the very end.
    auto level = [&](double from, double to) {
        int peak = 0;
        for (size_t i = 44 + 4 * static_cast<size_t>(from * 48000); i + 1 < 44 + 4 * static_cast<size_t>(to * 48000); i += 2)
            peak = std::max(peak, std::abs(static_cast<int16_t>(U16(w, i))));
        return peak;
    };
    EXPECT_GT(level(0.05, 0.45), 1000);
    EXPECT_EQ(level(seconds - 0.01, seconds), 0);
    EXPECT_NE(one.err.find("audio "), std::string::npos) << one.err;

    for (const char* threads : {"2", "3", "0"}) {
        const std::string out = Out(std::string("t") + threads + ".wav");
        const Outcome r = Tool({"--threads", threads, "-f", font_, "-o", out, song_});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(Bytes(out) == w) << threads << " threads";
    }

    // Without effects, the file ends as the last release has: no seconds of
    // silence after it.
    const Outcome dry = Tool({"--nofx", "-f", font_, "-o", Out("dry.wav"), song_});
    ASSERT_EQ(dry.code, 0) << dry.err;
    const std::vector<uint8_t> dw = Bytes(Out("dry.wav"));
    ASSERT_GT(dw.size(), 44u);
    EXPECT_GE(U32(dw, 40) / 4.0 / 48000.0, 0.6);
    EXPECT_LT(U32(dw, 40) / 4.0 / 48000.0, 1.0);

    const Outcome f = Tool({"--float", "-f", font_, "-o", Out("float.wav"), song_});
    ASSERT_EQ(f.code, 0) << f.err;
    const std::vector<uint8_t> fw = Bytes(Out("float.wav"));
    ASSERT_GT(fw.size(), 44u);
    EXPECT_EQ(U16(fw, 20), 3); // IEEE float
    EXPECT_EQ(U16(fw, 34), 32);
    EXPECT_EQ(U32(fw, 40), 2 * data);
}

TEST_F(RenderTool, ShowsItsProgressOnATerminalOnly) {
    const Outcome tty = Tool({"-f", font_, "-o", Out("tty.wav"), song_}, true);
    ASSERT_EQ(tty.code, 0) << tty.err;
    EXPECT_NE(tty.err.find("100.0%"), std::string::npos) << tty.err;
    EXPECT_NE(tty.err.find("x real time"), std::string::npos) << tty.err;
    EXPECT_NE(tty.err.find("audio "), std::string::npos) << tty.err;

    const Outcome piped = Tool({"-f", font_, "-o", Out("piped.wav"), song_});
    ASSERT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.err.find("real time"), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find('\r'), std::string::npos);
    EXPECT_NE(piped.err.find("audio "), std::string::npos) << piped.err;
}

TEST_F(RenderTool, FailsWithAMessageWhereItCannotRenderOrWrite) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    };
    const std::string notMidi = Write("text.mid", {'h', 'e', 'l', 'l', 'o'});
    std::vector<Case> cases = {
        {{"-f", font_, "-o", Out("a.wav"), Out("missing.mid")}, 1, "cannot read"},
        {{"-f", font_, "-o", Out("b.wav"), notMidi}, 1, "not a readable MIDI file"},
        {{"-f", Out("missing.sf2"), "-o", Out("c.wav"), song_}, 1, "cannot load"},
        {{"-f", font_, "-o", Out("no/such/folder/d.wav"), song_}, 1, "cannot write"},
        {{"--threads", "65", "-f", font_, "-o", Out("e.wav"), song_}, 2, "--threads"},
        {{"-f", font_, song_}, 2, "usage"},
    };
    // A disk that fills up: the data fits the file's buffer, so only the
    // final flush or the close can tell.
    if (access("/dev/full", W_OK) == 0) cases.push_back({{"-f", font_, "-o", "/dev/full", song_}, 1, "cannot write /dev/full"});
    for (const Case& c : cases) {
        const Outcome r = Tool(c.args);
        EXPECT_EQ(r.code, c.code) << c.says << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("audio "), std::string::npos) << c.says << ": reported as rendered: " << r.err;
    }
}

} // namespace
