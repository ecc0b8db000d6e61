#include "check/Lznt1.h"

#include <cstddef>

namespace {

constexpr size_t kChunk = 4096;
constexpr size_t kMinMatch = 3;
constexpr int kHashSize = 4096;
// How many earlier places with the same three bytes are tried: plenty for pictures.
constexpr int kSearchDepth = 64;

// A copy token's split between displacement and length depends on how far into the chunk it
// stands: the further, the more bits the displacement needs and the fewer the length keeps.
int LengthBits(size_t position) {
    int bits = 12;
    for (size_t i = position - 1; i >= 0x10; i >>= 1) --bits;
    return bits;
}

int Hash(const unsigned char* at) { return ((at[0] << 4) ^ (at[1] << 2) ^ at[2] ^ (at[0] >> 4)) & (kHashSize - 1); }

// One chunk's compressed data (without its header): groups of a flag byte and eight items, each
// a literal byte (flag bit 0) or a two-byte copy token (flag bit 1).
std::vector<unsigned char> CompressChunk(const unsigned char* data, size_t size) {
    std::vector<unsigned char> out;
    std::vector<int> head(kHashSize, -1), previous(size, -1);
    auto remember = [&](size_t at) {
        if (at + kMinMatch > size) return;
        int& bucket = head[Hash(data + at)];
        previous[at] = bucket;
        bucket = static_cast<int>(at);
    };
    size_t position = 0;
    while (position < size) {
        const size_t flags = out.size();
        out.push_back(0);
        for (int item = 0; item < 8 && position < size; ++item) {
            size_t bestLength = 0, bestDistance = 0;
            if (position > 0 && position + kMinMatch <= size) {
                const int bits = LengthBits(position);
                const size_t longest = ((size_t{1} << bits) - 1) + kMinMatch;
                const size_t farthest = size_t{1} << (16 - bits);
                const size_t limit = size - position < longest ? size - position : longest;
                int depth = 0;
                for (int at = head[Hash(data + position)]; at >= 0 && depth < kSearchDepth; at = previous[at], ++depth) {
                    const size_t distance = position - static_cast<size_t>(at);
                    if (distance > farthest) break;  // older places lie further still
                    size_t length = 0;
                    while (length < limit && data[at + length] == data[position + length]) ++length;
                    if (length > bestLength) {
                        bestLength = length;
                        bestDistance = distance;
                        if (length == limit) break;
                    }
                }
                if (bestLength >= kMinMatch) {
                    const unsigned token =
                        (static_cast<unsigned>(bestDistance - 1) << bits) | static_cast<unsigned>(bestLength - kMinMatch);
                    out[flags] = static_cast<unsigned char>(out[flags] | (1u << item));
                    out.push_back(static_cast<unsigned char>(token & 0xFF));
                    out.push_back(static_cast<unsigned char>(token >> 8));
                    for (size_t i = 0; i < bestLength; ++i) remember(position + i);
                    position += bestLength;
                    continue;
                }
            }
            out.push_back(data[position]);
            remember(position);
            ++position;
        }
    }
    return out;
}

}  // namespace

std::vector<char> CompressLznt1(const std::vector<char>& bytes) {
    std::vector<char> out;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t start = 0; start < bytes.size(); start += kChunk) {
        const size_t size = bytes.size() - start < kChunk ? bytes.size() - start : kChunk;
        std::vector<unsigned char> packed = CompressChunk(data + start, size);
        const bool compressed = packed.size() < size;
        const size_t stored = compressed ? packed.size() : size;
        // Header: the stored size less one in the low twelve bits, the signature 3 above them,
        // and the top bit set for a compressed chunk.
        const unsigned header = static_cast<unsigned>(stored - 1) | 0x3000u | (compressed ? 0x8000u : 0u);
        out.push_back(static_cast<char>(header & 0xFF));
        out.push_back(static_cast<char>(header >> 8));
        if (compressed)
            out.insert(out.end(), packed.begin(), packed.end());
        else
            out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start),
                       bytes.begin() + static_cast<std::ptrdiff_t>(start + size));
    }
    return out;
}
