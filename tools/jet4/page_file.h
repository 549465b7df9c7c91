// The output file as numbered 4096-byte pages, written under a temporary
// name beside the target and renamed onto it by Commit().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jet4::detail {

class PageFile {
public:
    explicit PageFile(std::string target);
    ~PageFile();  // removes the temporary file unless committed
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    // Reserves `count` consecutive page numbers; returns the first.
    std::uint32_t Allocate(std::uint32_t count = 1);
    // Writes one whole page (kPageSize bytes) at its number.
    void Write(std::uint32_t page, const std::uint8_t* data);
    // Overwrites `length` bytes from `offset` of a page written before.
    void Patch(std::uint32_t page, std::size_t offset, const std::uint8_t* data, std::size_t length);
    // Pages reserved so far.
    std::uint32_t PageCount() const { return static_cast<std::uint32_t>(written_.size()); }
    // Checks that every reserved page was written, then renames onto the target.
    void Commit();
    // Removes the temporary file; later calls other than the destructor fail.
    void Abandon();

private:
    void WriteAt(std::uint64_t position, const std::uint8_t* data, std::size_t length);

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    std::vector<bool> written_;
};

}  // namespace jet4::detail
