// Byte-copy access to packed wire and file records. Fields of packed records
// are never reached through pointers (misaligned access); values are copied.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

static_assert(std::endian::native == std::endian::little,
              "wire and file records are little-endian and copied as they are");

// Checks a field's offset inside a packed record at compile time.
#define PACKED_OFFSET(Type, field, offset) \
    static_assert(offsetof(Type, field) == (offset), #Type "::" #field " must lie at " #offset)
#define PACKED_SIZE(Type, size) static_assert(sizeof(Type) == (size), #Type " must be " #size " bytes")

namespace platform {

template <class T>
inline T ReadAt(const void* base, size_t offset) {
    static_assert(std::is_trivially_copyable_v<T>);
    T v;
    std::memcpy(&v, static_cast<const uint8_t*>(base) + offset, sizeof(T));
    return v;
}

template <class T>
inline void WriteAt(void* base, size_t offset, const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(static_cast<uint8_t*>(base) + offset, &v, sizeof(T));
}

// A 64-bit integer kept in the 8 bytes of a double slot, copied bit for bit
// (converting through a double would lose values above 2^53 and NaN payloads).
// A field of a packed record is misaligned: pass the record and the slot's
// offset to the *At forms, never the field by reference.
inline void StoreInt64At(void* base, size_t offset, int64_t v) { WriteAt<int64_t>(base, offset, v); }
inline int64_t LoadInt64At(const void* base, size_t offset) { return ReadAt<int64_t>(base, offset); }
inline void StoreInt64InDouble(double& slot, int64_t v) { std::memcpy(&slot, &v, sizeof v); }
inline int64_t LoadInt64FromDouble(const double& slot) {
    int64_t v;
    std::memcpy(&v, &slot, sizeof v);
    return v;
}

// Whole-record copies from and to byte buffers.
template <class T>
inline T LoadRecord(const void* bytes) {
    return ReadAt<T>(bytes, 0);
}
template <class T>
inline void StoreRecord(void* bytes, const T& rec) {
    WriteAt<T>(bytes, 0, rec);
}

// Copies a text into a fixed char field: at most size - 1 bytes plus NUL,
// the rest of the field zeroed. No character-boundary handling (see textcodec.h).
void CopyTextField(char* field, size_t size, const char* text);
// Reads a text from a fixed char field that may lack its terminator.
inline size_t TextFieldLength(const char* field, size_t size) { return strnlen(field, size); }

}  // namespace platform
