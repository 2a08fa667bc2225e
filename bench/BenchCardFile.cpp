// Time per call of loading and saving a full book of ten cards with every
// field at the longest text the screens accept (1,284 bytes on disk). Loads
// are set against a bare open, read and close of the same file, alternated in
// rounds within the run so that all see the same machine: a reload into a
// screen's book (goal: at most 1.3 times the bare read) and a load into a new
// book, which also allocates the longer texts.
// Saves include the flush to disk, so their figure depends on the file system.
// Then a load and a lock-and-load of the same book followed by 100 MB more
// (a sparse file): the load reads only CardFile::kMaxFileBytes of it.

#include "CardFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

CardBook fullBook()
{
    CardBook book;
    for (int i = 0; i < CardBook::kSlots; ++i) {
        const char16_t d = static_cast<char16_t>(u'0' + i);
        book.slot(i) = { std::u16string(20, d), std::u16string(15, d), std::u16string(10, d), std::u16string(1, d),
            std::u16string(5, d), std::u16string(1, d) };
    }
    return book;
}

template <typename F> double microsecondsPerCall(int iterations, F&& call)
{
    call(); // warm the page cache and the allocator
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i)
        call();
    const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / iterations;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int loads = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int saves = argc > 2 ? std::atoi(argv[2]) : 2000;

    std::string pattern = (fs::temp_directory_path() / "bench_cardfile.XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const fs::path dir = pattern;
    const fs::path file = dir / "Card.bin";
    const CardBook book = fullBook();
    if (!CardFile::save(book, SaveMode::Replace, file) || fs::file_size(file) != 1284) {
        std::fprintf(stderr, "setup failed\n");
        return 1;
    }

    bool ok = true;
    // Short rounds, alternated: a neighbour's burst on a shared machine hits
    // a load round and the bare round beside it alike, and the median of
    // their ratios passes over it.
    constexpr int kRounds = 201;
    const int perRound = std::max(1, loads / kRounds);
    // Two loads: again into a screen's book, as every screen reloads before
    // it changes a card, and into a new book, as a screen's first load is,
    // which also allocates the longer texts and frees them after.
    std::vector<double> reloadRounds, freshRounds, bareRounds, reloadRatios, freshRatios;
    CardBook held = book;
    for (int round = 0; round < kRounds; ++round) {
        reloadRounds.push_back(
            microsecondsPerCall(perRound, [&] { ok = ok && CardFile::load(held, file).complete == 10; }));
        bareRounds.push_back(microsecondsPerCall(perRound, [&] {
            std::uint8_t buffer[4096];
            const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            ok = ok && fd >= 0 && ::read(fd, buffer, sizeof buffer) == 1284;
            ::close(fd);
        }));
        freshRounds.push_back(microsecondsPerCall(perRound, [&] {
            CardBook b;
            ok = ok && CardFile::load(b, file).complete == 10;
        }));
        reloadRatios.push_back(reloadRounds.back() / bareRounds.back());
        freshRatios.push_back(freshRounds.back() / bareRounds.back());
    }
    const double reload = median(reloadRounds), fresh = median(freshRounds), bare = median(bareRounds);
    const double replace
        = microsecondsPerCall(saves, [&] { ok = ok && CardFile::save(book, SaveMode::Replace, file); });
    const double inPlace
        = microsecondsPerCall(saves, [&] { ok = ok && CardFile::save(book, SaveMode::InPlace, file); });
    fs::resize_file(file, 100 << 20);
    const double big = microsecondsPerCall(20, [&] {
        CardBook b;
        ok = ok && CardFile::load(b, file).tooBig;
    });
    const double locked = microsecondsPerCall(20, [&] {
        const CardFile::Lock lock(file);
        CardBook b;
        ok = ok && lock.held() && CardFile::load(b, file).tooBig;
    });
    fs::remove_all(dir);
    if (!ok) {
        std::fprintf(stderr, "a call failed\n");
        return 1;
    }

    std::printf("full book, 10 cards, 1284 bytes (folder %s)\n", dir.parent_path().c_str());
    std::printf("bare read       %10.2f us/call  (median of %d rounds of %d calls)\n", bare, kRounds, perRound);
    std::printf("reload          %10.2f us/call  (the same, alternated)\n", reload);
    std::printf(
        "reload / bare   %10.2fx         (median of the rounds' ratios; goal <= 1.30x)\n", median(reloadRatios));
    std::printf("new book        %10.2f us/call  (the same, alternated)\n", fresh);
    std::printf("new book / bare %10.2fx         (median of the rounds' ratios)\n", median(freshRatios));
    std::printf("save Replace    %10.2f us/call  (%d calls)\n", replace, saves);
    std::printf("save InPlace    %10.2f us/call  (%d calls)\n", inPlace, saves);
    std::printf("load 100 MB     %10.2f us/call  (20 calls)\n", big);
    std::printf("lock, load it   %10.2f us/call  (20 calls)\n", locked);
    return 0;
}
