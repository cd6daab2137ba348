#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Little-endian fields of the files, read and written byte by byte whatever the host order;
// whole series are copied as they are on a little-endian host.

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void u8(uint8_t v) { m_out.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    // A whole series at once: the 1.1 MB sample store goes through here.
    void i32s(const int32_t* values, size_t count) {
        if (count == 0) return;
        const size_t at = m_out.size();
        m_out.resize(at + 4 * count);
        uint8_t* p = m_out.data() + at;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(p, values, 4 * count);  // the host's order is the file's
        } else {
            for (size_t i = 0; i < count; ++i, p += 4) {
                const auto v = static_cast<uint32_t>(values[i]);
                p[0] = static_cast<uint8_t>(v);
                p[1] = static_cast<uint8_t>(v >> 8);
                p[2] = static_cast<uint8_t>(v >> 16);
                p[3] = static_cast<uint8_t>(v >> 24);
            }
        }
    }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(static_cast<uint32_t>(bits));
        u32(static_cast<uint32_t>(bits >> 32));
    }
    void bytes(const void* data, size_t size) {
        if (size == 0) return;
        const auto* p = static_cast<const uint8_t*>(data);
        m_out.insert(m_out.end(), p, p + size);
    }

private:
    std::vector<uint8_t>& m_out;
};

// Reads fields from a buffer. A read past the end yields zeros and marks the reader failed,
// so a short file can never be read past its data.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool ok() const { return m_ok; }
    size_t remaining() const { return m_size - m_pos; }

    uint8_t u8() {
        uint8_t v = 0;
        bytes(&v, 1);
        return v;
    }
    uint16_t u16() {
        uint8_t b[2] = {};
        bytes(b, 2);
        return static_cast<uint16_t>(b[0] | (b[1] << 8));
    }
    uint32_t u32() {
        const uint32_t lo = u16();
        const uint32_t hi = u16();
        return lo | (hi << 16);
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    // A whole series at once, or zeros and failure when it does not fit in what is left.
    bool i32s(int32_t* out, size_t count) {
        if (!m_ok || count > (m_size - m_pos) / 4) {
            std::memset(out, 0, count * sizeof(int32_t));
            m_ok = false;
            m_pos = m_size;
            return false;
        }
        if (count == 0) return true;
        const uint8_t* p = m_data + m_pos;
        if constexpr (std::endian::native == std::endian::little) {
            // The file's order is the host's: one copy instead of 276,480 assembled values,
            // which is what the sanitizer builds and the data-file fuzzer spend their time on.
            std::memcpy(out, p, 4 * count);
        } else {
            for (size_t i = 0; i < count; ++i, p += 4) {
                out[i] = static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                              static_cast<uint32_t>(p[3]) << 24);
            }
        }
        m_pos += 4 * count;
        return true;
    }
    double f64() {
        const uint64_t lo = u32();
        const uint64_t hi = u32();
        const uint64_t bits = lo | (hi << 32);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // Copies `size` bytes, or zero-fills `out` and fails when fewer remain.
    bool bytes(void* out, size_t size) {
        if (size == 0) return m_ok;  // an empty table may have no storage at all
        if (!m_ok || size > m_size - m_pos) {
            std::memset(out, 0, size);
            m_ok = false;
            m_pos = m_size;
            return false;
        }
        std::memcpy(out, m_data + m_pos, size);
        m_pos += size;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};
