// The content a node of the crash test holds at a given version, derived from its uid and
// version alone, so that the checker can tell exactly what a finished save wrote.
#pragma once

#include <cstdint>
#include <string>

namespace korvo::crashtest {

struct Content {
    std::string property;  // without pointId
    std::string sdata;
    std::string strdata;
};

inline uint32_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return uint32_t(x);
}

inline std::string Filler(uint32_t seed, size_t size) {
    std::string out(size, ' ');
    for (size_t i = 0; i < size; ++i) out[i] = char('a' + Mix(seed + i * 7919) % 26);
    return out;
}

inline Content ContentOf(long uid, long version) {
    const uint32_t h = Mix(uint64_t(uid) * 1000003 + uint64_t(version));
    static const size_t kProperty[] = {0, 100, 280, 290, 400, 1200};
    static const size_t kSdata[] = {0, 0, 100, 5120, 5121, 12000};
    static const size_t kStrdata[] = {0, 300, 500, 501, 7000, 10240};
    Content c;
    c.property = "uid =" + std::to_string(uid) + " ,v =" + std::to_string(version) +
                 " ,pad =" + Filler(h, kProperty[h % 6]);
    c.sdata = Filler(h + 1, kSdata[(h / 6) % 6]);
    c.strdata = Filler(h + 2, kStrdata[(h / 36) % 6]);
    return c;
}

}  // namespace korvo::crashtest
