// Test stand-in for an external encoder: copies its standard input to the
// file named by its first argument. Without an argument it exits at once
// (an encoder that dies). Windows pipes cannot reach a Linux program under
// Wine, so the encoder tests start this instead.
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
    if (argc < 2) return 0;
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) return 1;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0)
        if (std::fwrite(buf, 1, n, out) != n) return 1;
    return std::fclose(out) == 0 ? 0 : 1;
}
