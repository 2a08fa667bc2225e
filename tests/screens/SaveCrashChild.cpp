// Saves card books until it is killed, or once (with the save hook of the
// card file library set by the parent, which kills it at a chosen phase).
// Plain C++ with no Qt, so that it starts fast and a kill can land anywhere
// in a save.
//   save_crash_child loop
//   save_crash_child replace <k>   (long book k)
//   save_crash_child inplace <k>   (short book k)
#include "CardFile.h"
#include "CrashBooks.h"

#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[])
{
    using namespace crashbooks;
    if (argc == 2 && std::strcmp(argv[1], "loop") == 0) {
        for (int k = 0;; k ^= 1) {
            if (!CardFile::save(toBook(longBook(k)), SaveMode::Replace))
                return 2;
            if (!CardFile::save(toBook(shortBook(k)), SaveMode::InPlace))
                return 2;
        }
    }
    if (argc == 3) {
        const int k = std::atoi(argv[2]);
        if (std::strcmp(argv[1], "replace") == 0)
            return CardFile::save(toBook(longBook(k)), SaveMode::Replace) ? 0 : 2;
        if (std::strcmp(argv[1], "inplace") == 0)
            return CardFile::save(toBook(shortBook(k)), SaveMode::InPlace) ? 0 : 2;
    }
    return 1;
}
