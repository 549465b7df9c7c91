#pragma once
// GUID (Replication ID) values as Access writes them. libmdb's own text
// drops the hyphen before the last group.
#include <string>

namespace brevan::dao::reader {

// The 16 stored bytes at `stored` as "{8E39276A-BCA8-4AC4-891E-49911D8438DD}":
// braces, upper-case hex digits in groups of 8-4-4-4-12; the first three
// groups are stored little-endian, the last eight bytes in text order.
std::string GuidText(const unsigned char* stored);

}  // namespace brevan::dao::reader
