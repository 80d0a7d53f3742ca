#include "core/rle16_encoder.h"

#include "format/rle16.h"

CRle16Encoder::~CRle16Encoder() = default;

bool CRle16Encoder::IsPastEnd(uint32_t index) const { return m_position + uint64_t(index) >= m_count; }

uint16_t CRle16Encoder::PeekPixel(uint32_t index) const { return m_pixels[m_position + index]; }

uint32_t CRle16Encoder::RunLengthAt(uint32_t threshold, uint32_t index) const
{
    if (IsPastEnd(index))
        return 0;
    const uint16_t pixel = PeekPixel(index);
    uint32_t length = 1;
    while (length < RLE16_RUN_MAX && !IsPastEnd(index + length) && PeekPixel(index + length) == pixel)
        length++;
    return length >= threshold ? length : 0;
}

uint16_t CRle16Encoder::TakePixels(uint32_t n)
{
    const uint16_t pixel = PeekPixel(0);
    m_position += n;
    return pixel;
}

uint16_t CRle16Encoder::NextPixel() { return IsPastEnd(0) ? 0 : TakePixels(1); }

bool CRle16Encoder::HasRoom(uint32_t n) const { return uint64_t(m_written) + n < m_capacity; }

void CRle16Encoder::Put8(uint8_t v) { m_output[m_written++] = v; }

void CRle16Encoder::Put16(uint16_t v)
{
    Put8(static_cast<uint8_t>(v));
    Put8(static_cast<uint8_t>(v >> 8));
}

uint32_t CRle16Encoder::Encode(int bitsPerPixel, const uint16_t* pixels, uint8_t* output,
                               uint32_t rawLength)
{
    if (bitsPerPixel != 16 || rawLength < 2)
        return 0;
    m_pixels = pixels;
    m_count = rawLength / 2;
    m_position = 0;
    m_output = output;
    m_written = 0;
    m_capacity = rawLength - 1;

    enum class State { Decide, Run, OpenLiteral, LiteralPixel };
    State state = State::Decide;
    uint32_t count = 0;
    uint32_t countByte = 0;  // where the open literal packet keeps its count

    while (!IsPastEnd(0)) {
        switch (state) {
        case State::Decide:
            if ((count = RunLengthAt(RLE16_RUN_MIN_BETWEEN, 0)) > 0) {
                state = State::Run;
            } else if (RunLengthAt(RLE16_RUN_MIN_BETWEEN, 1) > 0) {
                count = 1;  // the pixel before a run becomes a run of one
                state = State::Run;
            } else {
                state = State::OpenLiteral;
            }
            break;
        case State::Run:
            if (count > RLE16_RUN_MAX)
                count = RLE16_RUN_MAX;
            if (!HasRoom(3))
                return 0;
            Put8(static_cast<uint8_t>(count));
            Put16(TakePixels(count));
            state = State::Decide;
            break;
        case State::OpenLiteral:
            if (!HasRoom(4))
                return 0;
            Put8(RLE16_LITERAL);
            countByte = m_written;
            Put8(0);
            state = State::LiteralPixel;
            break;
        case State::LiteralPixel:
            if (!HasRoom(2))
                return 0;
            m_output[countByte]++;
            Put16(NextPixel());
            if (m_output[countByte] >= RLE16_LITERAL_MAX)
                state = State::Decide;
            else if ((count = RunLengthAt(RLE16_RUN_MIN_IN_LITERAL, 0)) > 0)
                state = State::Run;
            break;
        }
    }
    Put8(RLE16_END);
    return m_written;
}
