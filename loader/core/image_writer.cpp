#include "core/image_writer.h"

#include "format/memimage.h"

#include <cstring>

bool ImageWriter::room(uint64_t offset, uint64_t n)
{
    if (offset + n <= m_buffer.size())
        return true;
    m_ok = false;
    return false;
}

bool ImageWriter::advance(uint64_t n)
{
    if (!room(m_position, n))
        return false;
    m_position = static_cast<uint32_t>(m_position + n);
    return true;
}

bool ImageWriter::align() { return advance(ExtMemAlign(m_position) - m_position); }

bool ImageWriter::skip(uint32_t n) { return advance(n); }

bool ImageWriter::putAt8(uint64_t offset, uint8_t v) { return putBytesAt(offset, &v, 1); }

bool ImageWriter::putAt16(uint64_t offset, uint16_t v)
{
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    return putBytesAt(offset, b, 2);
}

bool ImageWriter::putAt32(uint64_t offset, uint32_t v)
{
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    return putBytesAt(offset, b, 4);
}

bool ImageWriter::putBytesAt(uint64_t offset, const void* data, size_t n)
{
    if (!room(offset, n))
        return false;
    if (n)
        std::memcpy(m_buffer.data() + offset, data, n);
    return true;
}
