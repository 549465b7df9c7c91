// libFuzzer target for the stream between the reader and the engine: any
// bytes, cut into reads of any size, must be taken apart without a crash,
// and every message the checker lets through must be read or refused.
#include "dao/protocol/assembler.h"
#include "dao/protocol/cells.h"
#include "dao/protocol/stream_check.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace brevan::dao::protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte chooses the request and the size of the reads.
    const bool table = data[0] & 1;
    const std::size_t readSize = 1 + (data[0] >> 1);
    const char* stream = reinterpret_cast<const char*>(data + 1);
    std::size_t left = size - 1;

    std::vector<std::unique_ptr<char[]>> rowStorage;
    // Room for what the input can still fill, not for the size a message
    // claims: a claim of a gigabyte would make every run slow.
    MessageAssembler assembler([&](std::uint32_t n) {
        rowStorage.push_back(std::make_unique<char[]>(std::min<std::size_t>(n, left) + 1));
        return rowStorage.back().get();
    });
    StreamChecker checker(table);
    Header header;
    bool haveHeader = false;
    std::vector<const char*> rows;
    std::optional<Message> message;
    while (left > 0) {
        const std::span<char> want = assembler.Want();
        if (want.empty()) std::abort();
        const std::size_t n = std::min({want.size(), left, readSize});
        std::memcpy(want.data(), stream, n);
        stream += n;
        left -= n;
        if (assembler.Got(n, message) != StreamFault::None) return 0;
        if (!message) continue;
        if (checker.Accept(message->kind, message->payload, message->size) != StreamFault::None) return 0;
        if (message->kind == MessageKind::Header) {
            if (ReadHeader(message->payload, message->size, header) != StreamFault::None) return 0;
            haveHeader = true;
        } else if (message->kind == MessageKind::Rows) {
            if (!haveHeader) std::abort();  // the checker lets no rows before the header through
            const std::size_t before = rows.size();
            if (ReadRows(message->payload, message->size, header.columns, rows) != StreamFault::None) return 0;
            // A row that was read walks to its end inside the message.
            for (std::size_t r = before; r < rows.size(); ++r) {
                const char* cell = rows[r];
                for (std::size_t c = 0; c < header.columns.size(); ++c) {
                    if (TagOf(cell) == CellTag::Text) (void)CellText(cell);
                    cell = NextCell(cell);
                }
                if (cell > message->payload + message->size) std::abort();
            }
        }
    }
    (void)assembler.Finish();
    return 0;
}
