// Runs the standard tools that make test fixtures (mkfs.fat, mtools,
// ImageMagick, fsck.fat) and gives back what they printed.
#pragma once

#include <cstdint>
#include <string>

namespace fwtest {

struct Outcome {
    int status;
    std::string out;
};

// Runs a shell command (mtools without its drive checks) with its output
// and errors collected.
Outcome run(const std::string& cmd);
// The same, throwing when the command fails: a fixture that cannot be made.
void must(const std::string& cmd);

// An empty FAT16 card image of 8 MiB at path, made by mkfs.fat; files go
// on it with put_on_card (mcopy), under the name given.
void make_card(const std::string& path);
void put_on_card(const std::string& card, const std::string& src, const std::string& name);
// The bytes a PC sees free on a card (mdir; card is the mtools image
// argument, with a partition's offset where it has one).
uint64_t free_on_card(const std::string& card);

}  // namespace fwtest
