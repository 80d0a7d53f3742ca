// Writes into a memory image under construction: little-endian fields at the
// write position or at a given offset, every write checked against the
// capacity.  A write that does not fit writes nothing and marks the writer
// failed, so an image is never written past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ImageWriter {
public:
    // buffer holds the capacity; bytes that nothing writes keep their value.
    explicit ImageWriter(std::vector<uint8_t>& buffer) : m_buffer(buffer) {}

    uint32_t position() const { return m_position; }
    uint32_t capacity() const { return static_cast<uint32_t>(m_buffer.size()); }
    // True when n more bytes fit at the write position.
    bool fits(uint64_t n) const { return m_position + n <= m_buffer.size(); }
    // False once any write has been refused.
    bool ok() const { return m_ok; }

    // Moves the write position to the next multiple of 4 (gaps keep their bytes).
    bool align();
    // Moves the write position forward, leaving the bytes as they are.
    bool skip(uint32_t n);

    bool put8(uint8_t v) { return putAt8(m_position, v) && advance(1); }
    bool put16(uint16_t v) { return putAt16(m_position, v) && advance(2); }
    bool put32(uint32_t v) { return putAt32(m_position, v) && advance(4); }
    bool putBytes(const void* data, size_t n) { return putBytesAt(m_position, data, n) && advance(n); }

    bool putAt8(uint64_t offset, uint8_t v);
    bool putAt16(uint64_t offset, uint16_t v);
    bool putAt32(uint64_t offset, uint32_t v);
    bool putBytesAt(uint64_t offset, const void* data, size_t n);

private:
    bool room(uint64_t offset, uint64_t n);
    bool advance(uint64_t n);

    std::vector<uint8_t>& m_buffer;
    uint32_t m_position = 0;
    bool m_ok = true;
};
