#pragma once
// LZNT1 compression, the format Windows' RtlDecompressBuffer reads (from Windows XP on). The
// installer decompresses its pictures with the system's own function; the packer compresses them
// itself, because Wine's RtlCompressBuffer stores every chunk uncompressed.

#include <vector>

// The bytes as LZNT1 chunks of 4096 bytes each (the last one shorter), each chunk stored
// uncompressed where compression would not make it smaller.
std::vector<char> CompressLznt1(const std::vector<char>& bytes);
