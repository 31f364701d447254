// SFZ instruments: <control>, <global>, <master>, <group>, <region> with
// inheritance, #define and #include, and the opcodes below, expressed in the
// SoundFont model (see model.h). An SFZ file becomes one font with one
// preset that answers every bank and program (drum kits included) and one
// instrument whose zones are the regions (two zones for a stereo sample).
//
// Opcodes read: sample, default_path, key, lokey, hikey, pitch_keycenter,
// pitch_keytrack, lovel, hivel, tune, transpose, volume, amplitude, pan,
// offset, end, loop_mode, loop_start/loopstart, loop_end/loopend, ampeg_delay,
// ampeg_attack, ampeg_hold, ampeg_decay, ampeg_sustain, ampeg_release,
// amp_veltrack, trigger, rt_decay, group, off_by, seq_length, seq_position,
// lorand, hirand, loccN, hiccN, cutoff, fil_type, resonance. Others are
// ignored. Samples: WAV (see wav_reader.h) and Ogg Vorbis.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>

#include "bassmidi.h"
#include "font/readers.h"
#include "font/vorbis.h"
#include "font/wav_reader.h"

namespace tsl::font {

namespace {

constexpr int kMaxIncludeDepth = 16;
constexpr size_t kMaxRegions = 100000;

using Opcodes = std::vector<std::pair<std::string, std::string>>;

class SfzFont final : public Font {
public:
    std::deque<SfzParams> params;

protected:
    bool ReadSample(Sample& s, std::vector<int16_t>& pcm, std::vector<uint8_t>& low) override {
        auto file = File::Open(s.source.path);
        if (!file) return false;
        if (s.source.kind == Sample::Source::kOgg) {
            if (file->Size() > (uint64_t(1) << 30)) return false;
            std::vector<uint8_t> raw(size_t(file->Size()));
            if (!raw.empty() && !file->ReadAt(0, raw.data(), raw.size())) return false;
            std::vector<int16_t> inter;
            int ch = 0;
            uint32_t rate = 0;
            if (!DecodeVorbis(raw.data(), raw.size(), inter, &ch, &rate) || s.source.channel >= ch) return false;
            const size_t frames = inter.size() / size_t(ch);
            pcm.resize(frames);
            for (size_t i = 0; i < frames; ++i) pcm[i] = inter[i * size_t(ch) + size_t(s.source.channel)];
            return true;
        }
        WavInfo info;
        return DecodeWavChannel(*file, s.source.channel, pcm, low, &info);
    }
};

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool IsIdent(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && IsSpace(s[a])) ++a;
    while (b > a && IsSpace(s[b - 1])) --b;
    return s.substr(a, b - a);
}

std::string DirOf(const std::string& path) {
    size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string NameOf(const std::string& path) {
    size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

bool IsAbsolute(const std::string& p) {
    return (!p.empty() && (p[0] == '/' || p[0] == '\\')) || (p.size() > 1 && p[1] == ':');
}

std::string JoinPath(const std::string& dir, std::string rel) {
    std::replace(rel.begin(), rel.end(), '\\', '/');
    if (IsAbsolute(rel) || dir.empty()) return rel;
    std::string d = dir;
    if (d.back() != '/' && d.back() != '\\') d += '/';
    return d + rel;
}

// Note names (c4 = 60, c#4, db4, c-1 = 0) or numbers.
bool ParseKey(const std::string& v, int* out) {
    std::string s = Lower(Trim(v));
    if (s.empty()) return false;
    if ((s[0] >= '0' && s[0] <= '9') || s[0] == '-') {
        char* end = nullptr;
        long n = std::strtol(s.c_str(), &end, 10);
        if (end == s.c_str()) return false;
        *out = int(std::clamp<long>(n, -1, 127));
        return true;
    }
    static const int kSemis[7] = {9, 11, 0, 2, 4, 5, 7}; // a b c d e f g
    if (s[0] < 'a' || s[0] > 'g') return false;
    int semi = kSemis[s[0] - 'a'];
    size_t i = 1;
    if (i < s.size() && (s[i] == '#' || s[i] == 's')) {
        ++semi;
        ++i;
    } else if (i < s.size() && s[i] == 'b') {
        --semi;
        ++i;
    }
    char* end = nullptr;
    const char* start = s.c_str() + i;
    long oct = std::strtol(start, &end, 10);
    if (end == start) return false;
    *out = int(std::clamp<long>((oct + 1) * 12 + semi, 0, 127));
    return true;
}

double ParseNum(const std::string& v, double def = 0) {
    std::string s = Trim(v);
    char* end = nullptr;
    double d = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(d)) return def;
    return d;
}

int16_t Clamp16(double v) { return int16_t(std::clamp(std::lround(v), -32768L, 32767L)); }

int16_t TimeCents(double seconds) {
    if (!(seconds > 0.001)) return -12000;
    return Clamp16(std::clamp(1200.0 * std::log2(seconds), -12000.0, 8000.0));
}

struct Parser {
    Parser(SfzFont& f, int* e) : font(f), error(e) {}
    SfzFont& font;
    int* error;
    std::string rootDir;       // folder of the .sfz file (relative paths, includes)
    std::string defaultPath;   // <control> default_path
    std::map<std::string, std::string> defines;
    Opcodes global, master, group, region;
    enum class Level { kNone, kControl, kGlobal, kMaster, kGroup, kRegion, kOther } level = Level::kNone;
    std::vector<Opcodes> regions;
    std::map<std::string, Sample*> samplesByKey; // path + "|" + channel
    std::map<std::string, WavInfo> infoByPath;
    Instrument* inst = nullptr;

    bool ParseText(const std::string& text, int depth);
    void Header(const std::string& name);
    void Opcode(const std::string& name, const std::string& value);
    void EndRegion();
    bool BuildRegion(const Opcodes& ops);
    Sample* GetSample(const std::string& path, int channel, const WavInfo& info, bool ogg);
    bool Probe(const std::string& path, WavInfo* info, bool* ogg);
};

std::string Substitute(const std::string& line, const std::map<std::string, std::string>& defines) {
    if (defines.empty() || line.find('$') == std::string::npos) return line;
    std::string out;
    for (size_t i = 0; i < line.size();) {
        if (line[i] == '$') {
            size_t j = i + 1;
            while (j < line.size() && IsIdent(line[j]) && line[j] != '$') ++j;
            // Longest defined name that prefixes the identifier.
            bool done = false;
            for (size_t k = j; k > i + 1 && !done; --k) {
                auto it = defines.find(line.substr(i, k - i));
                if (it != defines.end()) {
                    out += it->second;
                    i = k;
                    done = true;
                }
            }
            if (done) continue;
        }
        out += line[i++];
    }
    return out;
}

bool Parser::ParseText(const std::string& raw, int depth) {
    // Comments out, line by line (/* */ may span lines).
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '/' && i + 1 < raw.size() && raw[i + 1] == '/') {
            while (i < raw.size() && raw[i] != '\n') ++i;
            text += '\n';
        } else if (raw[i] == '/' && i + 1 < raw.size() && raw[i + 1] == '*') {
            i += 2;
            while (i + 1 < raw.size() && !(raw[i] == '*' && raw[i + 1] == '/')) {
                if (raw[i] == '\n') text += '\n';
                ++i;
            }
            ++i;
        } else {
            text += raw[i];
        }
    }
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        std::string line = Trim(text.substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (line.empty()) continue;
        if (line.rfind("#define", 0) == 0) {
            std::string rest = Trim(line.substr(7));
            size_t sp = 0;
            while (sp < rest.size() && !IsSpace(rest[sp])) ++sp;
            std::string name = rest.substr(0, sp);
            if (!name.empty() && name[0] == '$') defines[name] = Trim(Substitute(rest.substr(sp), defines));
            continue;
        }
        line = Substitute(line, defines);
        if (line.rfind("#include", 0) == 0) {
            std::string rest = Trim(line.substr(8));
            if (rest.size() >= 2 && rest.front() == '"') {
                size_t q = rest.find('"', 1);
                rest = rest.substr(1, q == std::string::npos ? std::string::npos : q - 1);
            }
            if (depth >= kMaxIncludeDepth) {
                *error = BASS_ERROR_MIDI_INCLUDE;
                return false;
            }
            std::vector<uint8_t> bytes;
            if (rest.empty() || !ReadWholeFile(JoinPath(rootDir, rest), bytes)) {
                *error = BASS_ERROR_MIDI_INCLUDE;
                return false;
            }
            if (!ParseText(std::string(bytes.begin(), bytes.end()), depth + 1)) return false;
            continue;
        }
        // Headers and opcodes. An opcode's value runs to the next header or
        // the next "name=" (values such as sample paths may hold spaces).
        size_t i = 0;
        while (i < line.size()) {
            if (IsSpace(line[i])) {
                ++i;
                continue;
            }
            if (line[i] == '<') {
                size_t e = line.find('>', i);
                if (e == std::string::npos) break;
                Header(Lower(Trim(line.substr(i + 1, e - i - 1))));
                i = e + 1;
                continue;
            }
            size_t eq = i;
            while (eq < line.size() && IsIdent(line[eq])) ++eq;
            if (eq == i || eq >= line.size() || line[eq] != '=') {
                // Not an opcode: skip the word.
                while (i < line.size() && !IsSpace(line[i]) && line[i] != '<') ++i;
                if (i == eq && i < line.size() && line[i] != '<') ++i;
                continue;
            }
            std::string name = line.substr(i, eq - i);
            size_t v = eq + 1, end = v;
            for (;;) {
                while (end < line.size() && !IsSpace(line[end]) && line[end] != '<') ++end;
                if (end >= line.size() || line[end] == '<') break;
                size_t k = end;
                while (k < line.size() && IsSpace(line[k])) ++k;
                size_t w = k;
                while (w < line.size() && IsIdent(line[w])) ++w;
                if (k >= line.size() || line[k] == '<' || (w > k && w < line.size() && line[w] == '=')) break;
                end = k;
            }
            Opcode(name, Trim(line.substr(v, end - v)));
            i = end;
        }
    }
    return true;
}

void Parser::EndRegion() {
    if (level != Level::kRegion) return;
    if (regions.size() < kMaxRegions) {
        Opcodes ops = global;
        ops.insert(ops.end(), master.begin(), master.end());
        ops.insert(ops.end(), group.begin(), group.end());
        ops.insert(ops.end(), region.begin(), region.end());
        regions.push_back(std::move(ops));
    }
    region.clear();
}

void Parser::Header(const std::string& name) {
    EndRegion();
    if (name == "control") {
        level = Level::kControl;
    } else if (name == "global") {
        level = Level::kGlobal;
        global.clear();
        master.clear();
        group.clear();
    } else if (name == "master") {
        level = Level::kMaster;
        master.clear();
        group.clear();
    } else if (name == "group") {
        level = Level::kGroup;
        group.clear();
    } else if (name == "region") {
        level = Level::kRegion;
        region.clear();
    } else {
        level = Level::kOther; // <curve>, <effect>, <midi>, ...: ignored
    }
}

void Parser::Opcode(const std::string& rawName, const std::string& value) {
    std::string name = Lower(rawName);
    switch (level) {
        case Level::kControl:
            if (name == "default_path") defaultPath = value;
            break;
        case Level::kGlobal: global.push_back({name, value}); break;
        case Level::kMaster: master.push_back({name, value}); break;
        case Level::kGroup: group.push_back({name, value}); break;
        case Level::kRegion: region.push_back({name, value}); break;
        default: break;
    }
}

bool Parser::Probe(const std::string& path, WavInfo* info, bool* ogg) {
    auto it = infoByPath.find(path);
    if (it != infoByPath.end()) {
        *info = it->second;
        *ogg = info->bits == 0;
        return true;
    }
    auto file = File::Open(path);
    if (!file) return false;
    uint8_t magic[4] = {};
    if (file->Size() >= 4) file->ReadAt(0, magic, 4);
    if (std::memcmp(magic, "OggS", 4) == 0) {
        if (file->Size() > (uint64_t(1) << 30)) return false;
        std::vector<uint8_t> raw(size_t(file->Size()));
        if (!file->ReadAt(0, raw.data(), raw.size())) return false;
        int ch = 0;
        uint32_t rate = 0;
        uint64_t frames = 0;
        if (!ProbeVorbis(raw.data(), raw.size(), &ch, &rate, &frames) || ch > 2) return false;
        *info = WavInfo{};
        info->rate = rate;
        info->channels = uint16_t(ch);
        info->frames = frames; // the decoded length is taken when the sample loads
        *ogg = true;
    } else {
        if (!ReadWavInfo(*file, info)) return false;
        *ogg = false;
    }
    infoByPath[path] = *info;
    return true;
}

Sample* Parser::GetSample(const std::string& path, int channel, const WavInfo& info, bool ogg) {
    std::string key = path + "|" + std::to_string(channel);
    auto it = samplesByKey.find(key);
    if (it != samplesByKey.end()) return it->second;
    auto s = std::make_unique<Sample>();
    s->name = NameOf(path);
    s->sampleRate = info.rate;
    s->originalPitch = info.hasUnity ? info.unityNote : 60;
    s->pitchCorrection = info.unityCents;
    s->type = info.channels == 2 ? (channel == 0 ? SampleType::kLeft : SampleType::kRight) : SampleType::kMono;
    s->source.kind = ogg ? Sample::Source::kOgg : Sample::Source::kFile;
    s->source.path = path;
    s->source.channel = channel;
    s->source.offset = font.samples.size(); // load order: as listed
    LoopSpan loop;
    if (info.hasLoop) {
        loop.rawStart = info.loopStart;
        loop.rawEnd = info.loopEnd;
    }
    s->loops.push_back(loop);
    s->length = uint32_t(info.frames);
    font.sampleBytes += info.frames * (ogg ? 2 : 2 + (info.bits > 16 ? 1 : 0));
    Sample* raw = s.get();
    font.samples.push_back(std::move(s));
    samplesByKey[key] = raw;
    return raw;
}

FilterType FilterOf(const std::string& v) {
    std::string s = Lower(v);
    if (s == "lpf_1p") return FilterType::kLowpass1;
    if (s == "hpf_1p") return FilterType::kHighpass1;
    if (s.rfind("hpf", 0) == 0) return FilterType::kHighpass2;
    if (s.rfind("bpf", 0) == 0) return FilterType::kBandpass2;
    if (s.rfind("brf", 0) == 0) return FilterType::kBandStop2;
    return FilterType::kLowpass2; // lpf_2p and anything not offered
}

bool Parser::BuildRegion(const Opcodes& ops) {
    std::string sample;
    for (auto& [k, v] : ops)
        if (k == "sample") sample = v;
    if (sample.empty() || sample[0] == '*') return true; // built-in generators are not offered
    std::string path = JoinPath(rootDir, JoinPath(defaultPath, sample));
    WavInfo info;
    bool ogg = false;
    if (!Probe(path, &info, &ogg)) {
        *error = File::Open(path) ? BASS_ERROR_FILEFORM : BASS_ERROR_FILEOPEN;
        return false;
    }

    InstrumentZone z;
    for (int g = 0; g < kGenCount; ++g) z.gen[g] = GenDefault(g);
    z.gen[kGenReleaseVolEnv] = TimeCents(0.001);
    SfzParams p;
    int keyLo = 0, keyHi = 127, velLo = 0, velHi = 127;
    int center = 60;
    bool centerFromSample = false;
    double tune = 0, transpose = 0, pan = 0, volumeDb = 0, amplitudeDb = 0, cutoff = -1, resonance = 0;
    int64_t loopStart = -1, loopEnd = -1, offset = 0, end = -1;
    int loopMode = -1; // -1 = from the sample
    bool oneShot = false;
    for (auto& [k, v] : ops) {
        if (k == "key") {
            int n;
            if (ParseKey(v, &n)) keyLo = keyHi = center = n;
        } else if (k == "lokey") {
            ParseKey(v, &keyLo);
        } else if (k == "hikey") {
            ParseKey(v, &keyHi);
        } else if (k == "pitch_keycenter") {
            if (Lower(v) == "sample") centerFromSample = true;
            else if (ParseKey(v, &center)) centerFromSample = false;
        } else if (k == "pitch_keytrack") {
            z.gen[kGenScaleTuning] = Clamp16(std::clamp(ParseNum(v, 100), -1200.0, 1200.0));
        } else if (k == "lovel") {
            velLo = int(ParseNum(v, 0));
        } else if (k == "hivel") {
            velHi = int(ParseNum(v, 127));
        } else if (k == "tune") {
            tune = ParseNum(v);
        } else if (k == "transpose") {
            transpose = ParseNum(v);
        } else if (k == "volume") {
            volumeDb = ParseNum(v); // a later level replaces, it does not add
        } else if (k == "amplitude") {
            double a = ParseNum(v, 100);
            amplitudeDb = a > 0 ? 20 * std::log10(a / 100) : -144;
        } else if (k == "pan") {
            pan = std::clamp(ParseNum(v), -100.0, 100.0);
        } else if (k == "offset") {
            offset = int64_t(std::max(0.0, ParseNum(v)));
        } else if (k == "end") {
            end = int64_t(ParseNum(v, -1));
        } else if (k == "loop_mode" || k == "loopmode") {
            std::string m = Lower(v);
            oneShot = m == "one_shot";
            loopMode = m == "loop_continuous" ? 1 : m == "loop_sustain" ? 3 : 0;
        } else if (k == "loop_start" || k == "loopstart") {
            loopStart = int64_t(std::max(0.0, ParseNum(v)));
        } else if (k == "loop_end" || k == "loopend") {
            loopEnd = int64_t(std::max(0.0, ParseNum(v)));
        } else if (k == "ampeg_delay") {
            z.gen[kGenDelayVolEnv] = TimeCents(ParseNum(v));
        } else if (k == "ampeg_attack") {
            z.gen[kGenAttackVolEnv] = TimeCents(ParseNum(v));
        } else if (k == "ampeg_hold") {
            z.gen[kGenHoldVolEnv] = TimeCents(ParseNum(v));
        } else if (k == "ampeg_decay") {
            z.gen[kGenDecayVolEnv] = TimeCents(ParseNum(v));
        } else if (k == "ampeg_release") {
            z.gen[kGenReleaseVolEnv] = TimeCents(ParseNum(v));
        } else if (k == "ampeg_sustain") {
            double pct = std::clamp(ParseNum(v, 100), 0.0, 100.0);
            z.gen[kGenSustainVolEnv] = pct <= 0 ? 1440 : Clamp16(std::min(1440.0, -200 * std::log10(pct / 100)));
        } else if (k == "amp_veltrack") {
            p.ampVeltrack = float(std::clamp(ParseNum(v, 100), -100.0, 100.0));
        } else if (k == "trigger") {
            std::string t = Lower(v);
            p.trigger = t == "release" ? Trigger::kRelease : t == "first" ? Trigger::kFirst
                        : t == "legato"  ? Trigger::kLegato : Trigger::kAttack;
        } else if (k == "rt_decay") {
            p.rtDecay = float(std::clamp(ParseNum(v), 0.0, 200.0));
        } else if (k == "group") {
            z.group = uint32_t(int64_t(ParseNum(v)));
        } else if (k == "off_by") {
            z.offBy = uint32_t(int64_t(ParseNum(v)));
        } else if (k == "seq_length") {
            p.seqLength = uint16_t(std::clamp(ParseNum(v, 1), 1.0, 100.0));
        } else if (k == "seq_position") {
            p.seqPosition = uint16_t(std::clamp(ParseNum(v, 1), 1.0, 100.0));
        } else if (k == "lorand") {
            p.loRand = float(ParseNum(v, 0));
        } else if (k == "hirand") {
            p.hiRand = float(ParseNum(v, 1));
        } else if ((k.rfind("locc", 0) == 0 || k.rfind("hicc", 0) == 0) && k.size() > 4) {
            char* e = nullptr;
            long cc = std::strtol(k.c_str() + 4, &e, 10);
            if (*e != 0 || cc < 0 || cc > 127) continue;
            uint8_t i = 0;
            while (i < p.ccCount && p.cc[i].cc != cc) ++i;
            if (i == p.ccCount) {
                if (p.ccCount == 8) continue;
                p.cc[p.ccCount++] = CcRange{uint8_t(cc), 0, 127};
            }
            uint8_t val = uint8_t(std::clamp(ParseNum(v), 0.0, 127.0));
            if (k[0] == 'l') p.cc[i].lo = val;
            else p.cc[i].hi = val;
        } else if (k == "cutoff") {
            cutoff = ParseNum(v, -1);
        } else if (k == "resonance") {
            resonance = std::clamp(ParseNum(v), 0.0, 96.0);
        } else if (k == "fil_type" || k == "filtype") {
            z.filter = FilterOf(v);
        }
    }
    if (keyLo > keyHi || velLo > velHi) return true; // never plays
    z.keyLo = uint8_t(std::clamp(keyLo, 0, 127));
    z.keyHi = uint8_t(std::clamp(keyHi, 0, 127));
    z.velLo = uint8_t(std::clamp(velLo, 0, 127));
    z.velHi = uint8_t(std::clamp(velHi, 0, 127));
    double cents = tune + 100 * transpose;
    z.gen[kGenCoarseTune] = Clamp16(std::trunc(cents / 100));
    z.gen[kGenFineTune] = Clamp16(cents - 100 * std::trunc(cents / 100));
    z.gen[kGenOverridingRootKey] = int16_t(centerFromSample ? -1 : std::clamp(center, 0, 127));
    if (cutoff > 0) {
        z.gen[kGenInitialFilterFc] = Clamp16(std::clamp(1200 * std::log2(cutoff / 8.176), 1500.0, 13500.0));
        z.gen[kGenInitialFilterQ] = Clamp16(resonance * 10);
    } else {
        z.filter = FilterType::kLowpass2; // no cutoff: no filter
    }
    z.gainDb = float(volumeDb + amplitudeDb);
    z.oneShot = oneShot;
    z.start = offset;
    if (end > 0) z.endAbs = end + 1; // the last frame played
    else if (end == 0) return true;  // end=0: the region is silent

    // SFZ zones carry no velocity->attenuation or ->filter, and no vibrato
    // defaults; amp_veltrack takes the velocity's place.
    for (const Modulator& m : kDefaultModulators) {
        if ((m.srcOper & 0x7F) == 2 && !(m.srcOper & 0x80)) continue; // velocity
        if (m.destOper == kGenVibLfoToPitch) continue;
        z.mods.push_back(m);
    }

    font.params.push_back(p);
    z.sfz = &font.params.back();

    for (int ch = 0; ch < info.channels; ++ch) {
        Sample* s = GetSample(path, ch, info, ogg);
        InstrumentZone cz = z;
        cz.sample = s;
        bool hasLoop = false;
        if (loopStart >= 0 && loopEnd > loopStart) {
            LoopSpan want;
            want.rawStart = loopStart;
            want.rawEnd = loopEnd + 1;
            size_t k = 0;
            while (k < s->loops.size() && (s->loops[k].rawStart != want.rawStart || s->loops[k].rawEnd != want.rawEnd)) ++k;
            if (k == s->loops.size()) {
                if (k >= 0xFFFF) return true;
                s->loops.push_back(want);
            }
            cz.loop = uint16_t(k);
            hasLoop = true;
        } else {
            cz.loop = 0;
            hasLoop = s->loops[0].rawEnd > s->loops[0].rawStart;
        }
        cz.gen[kGenSampleModes] = int16_t(oneShot ? 0 : loopMode >= 0 ? loopMode : hasLoop ? 1 : 0);
        if (info.channels == 2) {
            cz.gen[kGenPan] = ch == 0 ? int16_t(-500 + 10 * std::max(pan, 0.0)) : int16_t(500 + 10 * std::min(pan, 0.0));
        } else {
            cz.gen[kGenPan] = Clamp16(pan * 5);
        }
        inst->zones.push_back(std::move(cz));
    }
    // Stereo partners.
    if (info.channels == 2) {
        Sample* l = GetSample(path, 0, info, ogg);
        Sample* r = GetSample(path, 1, info, ogg);
        l->link = r;
        r->link = l;
    }
    return true;
}

} // namespace

std::shared_ptr<Font> OpenSfzText(const std::string& text, const std::string& dir, const std::string& name,
                                  uint32_t flags, int* error) {
    auto font = std::make_shared<SfzFont>();
    font->flags = flags;
    font->name = name;
    font->sampleType = BASS_MIDI_SAMTYPE_PCM;
    int err = BASS_OK;
    Parser parser(*font, &err);
    parser.rootDir = dir;
    auto inst = std::make_unique<Instrument>();
    inst->name = name;
    parser.inst = inst.get();
    bool ok = parser.ParseText(text, 0);
    if (ok) {
        parser.EndRegion();
        for (const Opcodes& r : parser.regions) {
            if (!parser.BuildRegion(r)) {
                ok = false;
                break;
            }
        }
    }
    if (!ok) {
        if (error) *error = err != BASS_OK ? err : BASS_ERROR_FILEFORM;
        return nullptr;
    }
    // WAV samples: lengths and loop clamps are known from their headers. (Ogg
    // Vorbis samples get theirs when decoded.)
    for (auto& s : font->samples) {
        if (s->source.kind == Sample::Source::kOgg) continue;
        s->SetLength(s->length);
    }
    auto preset = std::make_unique<Preset>();
    preset->name = name;
    preset->anyBank = preset->anyProgram = true;
    PresetZone pz;
    for (int g = 0; g < kGenCount; ++g) pz.gen[g] = 0;
    pz.instrument = inst.get();
    preset->zones.push_back(std::move(pz));
    font->instruments.push_back(std::move(inst));
    font->presets.push_back(std::move(preset));
    font->Finish();
    return font;
}

std::shared_ptr<Font> OpenSfz(const std::string& utf8Path, uint32_t flags, int* error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(utf8Path, bytes)) {
        if (error) *error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    std::string name = NameOf(utf8Path);
    return OpenSfzText(std::string(bytes.begin(), bytes.end()), DirOf(utf8Path), name, flags, error);
}

} // namespace tsl::font
