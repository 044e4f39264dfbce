// The library's string classes: mbinstr, a heap-allocated byte string with a length that
// may hold NUL bytes, and mstring, which adds comparing, searching and replacing by
// characters of a code page. Failures are thrown as int codes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "mlib/mbstr.h"

const int MSTRING_NO_MEMORY = 0x1000;  // a block could not be allocated
const int MSTRING_BAD_INDEX = 0x1001;  // At with an index outside 0 ... length

// A byte string: a block of length + 1 bytes whose last byte is NUL, or no block at all.
template <typename C>
class mbinstr {
    static_assert(sizeof(C) == 1, "mbinstr holds bytes");

public:
    mbinstr() : length(0), data(NewBlock(0)) {}
    mbinstr(const mbinstr& other) : length(0), data(nullptr) { Assign(other); }
    mbinstr& operator=(const mbinstr& other) {
        Assign(other);
        return *this;
    }

    virtual ~mbinstr() { free(data); }

    // The bytes, or an empty text when there is no block.
    virtual const C* GetString() const { return data != nullptr ? data : EmptyText(); }

    virtual void Clear() {
        free(data);
        data = nullptr;
        length = 0;
    }

    // Copies min(n, length) bytes without a NUL and returns their number; the length when
    // there is no buffer or n <= 0.
    virtual int CopyTo(C* buffer, int n) const {
        if (data == nullptr) {
            return 0;
        }
        if (buffer == nullptr || n <= 0) {
            return length;
        }
        int count = n < length ? n : length;
        memcpy(buffer, data, static_cast<size_t>(count));
        return count;
    }

    // A copy of an empty string holds a block with its terminator, as the other does.
    virtual int Assign(const mbinstr& other) {
        if (&other == this) {
            return length;
        }
        if (other.data == nullptr) {
            Clear();
            return 0;
        }
        if (other.length == 0) {
            Take(NewBlock(0), 0);
            return 0;
        }
        return Assign(other.data, other.length);
    }

    virtual int Assign(C byte) { return Assign(&byte, 1); }

    // n <= 0 clears; the bytes may lie inside this string's own block.
    virtual int Assign(const C* bytes, int n) {
        if (n <= 0 || bytes == nullptr) {
            Clear();
            return 0;
        }
        if (data != nullptr && n == length) {
            memmove(data, bytes, static_cast<size_t>(n));
            return n;
        }
        C* block = NewBlock(n);
        memcpy(block, bytes, static_cast<size_t>(n));
        Take(block, n);
        return n;
    }

    // A new block of n bytes keeping the first min(n, length); bytes gained are NUL.
    virtual int Resize(int n) {
        C* block = NewBlock(n);
        int kept = n < length ? n : length;
        if (kept > 0) {
            memcpy(block, data, static_cast<size_t>(kept));
        }
        memset(block + kept, 0, static_cast<size_t>(n - kept));
        Take(block, n);
        return n;
    }

    virtual mbinstr& Append(const mbinstr& other) { return Append(other.data, other.length); }

    // n <= 0 does nothing; the bytes may lie inside this string's own block.
    virtual mbinstr& Append(const C* bytes, int n) {
        if (n <= 0 || bytes == nullptr) {
            return *this;
        }
        int total = Sum(length, n);
        C* block = NewBlock(total);
        if (length > 0) {
            memcpy(block, data, static_cast<size_t>(length));
        }
        memcpy(block + length, bytes, static_cast<size_t>(n));
        Take(block, total);
        return *this;
    }

    virtual mbinstr& operator+=(const mbinstr& other) { return Append(other); }

    virtual mbinstr operator+(const mbinstr& other) const {
        mbinstr result(*this);
        result.Append(other);
        return result;
    }

    // Reverses the bytes (not the characters).
    virtual void Reverse() {
        for (int i = 0, j = length - 1; i < j; i++, j--) {
            C byte = data[i];
            data[i] = data[j];
            data[j] = byte;
        }
    }

    // The bytes from start (clamped to 0 ... length) up to end, exclusive; an end <= 0 or
    // >= length means the end of the string.
    virtual mbinstr Mid(int start, int end) const {
        if (start < 0) {
            start = 0;
        }
        if (start > length) {
            start = length;
        }
        if (end <= 0 || end >= length) {
            end = length;
        }
        mbinstr result;
        if (end > start) {
            result.Assign(data + start, end - start);
        }
        return result;
    }

    virtual const C* Find(const mbinstr& other) const { return Find(other.data, other.length); }

    // The first occurrence of the byte sequence, or null.
    virtual const C* Find(const void* bytes, int n) const {
        if (data == nullptr || bytes == nullptr || n <= 0) {
            return nullptr;
        }
        for (int i = 0; i + n <= length; i++) {
            if (memcmp(data + i, bytes, static_cast<size_t>(n)) == 0) {
                return data + i;
            }
        }
        return nullptr;
    }

    virtual const C* FindLast(const mbinstr& other) const {
        return FindLast(other.data, other.length);
    }

    // The last occurrence of the byte sequence, or null.
    virtual const C* FindLast(const void* bytes, int n) const {
        if (data == nullptr || bytes == nullptr || n <= 0) {
            return nullptr;
        }
        for (int i = length - n; i >= 0; i--) {
            if (memcmp(data + i, bytes, static_cast<size_t>(n)) == 0) {
                return data + i;
            }
        }
        return nullptr;
    }

    // Equal: the same length and bytes (two strings without a block are equal). The
    // second form compares with a one-byte string.
    virtual bool operator==(const mbinstr& other) const { return Equals(other.data, other.length); }
    virtual bool operator==(C byte) const { return Equals(&byte, 1); }
    virtual bool operator!=(const mbinstr& other) const { return !(*this == other); }

    // Byte order over the shorter length, bytes as signed values: strings that agree over
    // that length are neither greater nor smaller.
    virtual bool operator>(const mbinstr& other) const {
        return Order(other.data, other.length) > 0;
    }
    virtual bool operator>(C byte) const { return Order(&byte, 1) > 0; }
    virtual bool operator>=(const mbinstr& other) const { return *this == other || *this > other; }
    virtual bool operator<(const mbinstr& other) const {
        return Order(other.data, other.length) < 0;
    }
    virtual bool operator<(C byte) const { return Order(&byte, 1) < 0; }
    virtual bool operator<=(const mbinstr& other) const { return *this == other || *this < other; }

    // Non-overlapping occurrences, counted from the start.
    virtual int Count(const void* bytes, int n) const {
        if (data == nullptr || bytes == nullptr || n <= 0) {
            return 0;
        }
        int count = 0;
        for (int i = 0; i + n <= length;) {
            if (memcmp(data + i, bytes, static_cast<size_t>(n)) == 0) {
                count++;
                i += n;
            } else {
                i++;
            }
        }
        return count;
    }

    virtual int Replace(const mbinstr& from, const mbinstr& to, int max) {
        // Copies, in case either is this string itself.
        mbinstr fromCopy(from);
        mbinstr toCopy(to);
        return Replace(fromCopy.data, fromCopy.length, toCopy.data, toCopy.length, max);
    }

    // Replaces the first max occurrences (all when max <= 0), left to right without
    // overlap, in a new block; returns the number replaced.
    virtual int Replace(const C* from, int fromLength, const C* to, int toLength, int max) {
        if (toLength < 0 || (toLength > 0 && to == nullptr)) {
            toLength = 0;
        }
        if (fromLength == toLength && (fromLength == 0 || memcmp(from, to, toLength) == 0)) {
            return 0;
        }
        int found = Count(from, fromLength);
        if (found == 0) {
            return 0;
        }
        int replaced = max <= 0 || max > found ? found : max;
        int64_t total = int64_t{length} + int64_t{replaced} * (toLength - fromLength);
        C* block = NewBlock(total > INT32_MAX ? -1 : static_cast<int>(total));
        int in = 0;
        int out = 0;
        for (int done = 0; in < length;) {
            if (done < replaced && in + fromLength <= length &&
                memcmp(data + in, from, static_cast<size_t>(fromLength)) == 0) {
                if (toLength > 0) {
                    memcpy(block + out, to, static_cast<size_t>(toLength));
                }
                out += toLength;
                in += fromLength;
                done++;
            } else {
                block[out++] = data[in++];
            }
        }
        Take(block, out);
        return replaced;
    }

    // The address of byte i, 0 <= i <= length (index length is the NUL).
    virtual C* At(int i) {
        if (data == nullptr || i < 0 || i > length) {
            throw MSTRING_BAD_INDEX;
        }
        return data + i;
    }
    virtual const C* At(int i) const {
        if (data == nullptr || i < 0 || i > length) {
            throw MSTRING_BAD_INDEX;
        }
        return data + i;
    }

    int GetLength() const { return length; }
    bool HasData() const { return data != nullptr; }

protected:
    // The one allocation helper: n + 1 bytes with the NUL at index n.
    static C* NewBlock(int n) {
        if (n < 0) {
            throw MSTRING_NO_MEMORY;
        }
        C* block = static_cast<C*>(malloc(static_cast<size_t>(n) + 1));
        if (block == nullptr) {
            throw MSTRING_NO_MEMORY;
        }
        block[n] = 0;
        return block;
    }

    // Replaces the block by one of n bytes that NewBlock made.
    void Take(C* block, int n) {
        free(data);
        data = block;
        length = n;
    }

    static int Sum(int a, int b) {
        int64_t total = int64_t{a} + b;
        if (total > INT32_MAX) {
            throw MSTRING_NO_MEMORY;
        }
        return static_cast<int>(total);
    }

    int length;  // bytes held, without the terminating NUL
    C* data;     // length + 1 bytes, or null

private:
    static const C* EmptyText() {
        static const C empty[1] = {0};
        return empty;
    }

    bool Equals(const C* bytes, int n) const {
        if (data == nullptr && bytes == nullptr) {
            return true;
        }
        return n == length && (n == 0 || memcmp(data, bytes, static_cast<size_t>(n)) == 0);
    }

    int Order(const C* bytes, int n) const {
        return MCompareSignedBytes(data, bytes, n < length ? n : length);
    }
};

// A text string: comparing, searching and replacing go by characters of a code page.
// CodePage (an MCodePage) selects the character rule: MCP_ANSI, the build's own, or a
// fixed one (Shift-JIS, UTF-8, single bytes) on every build.
template <typename C, int CodePage = MCP_ANSI>
class mstring : public mbinstr<C> {
public:
    mstring() {}
    // An empty text keeps the default block with its terminator; only a null text has none.
    mstring(const C* text) : mbinstr<C>() {  // NOLINT: converting, as a text is a string
        if (text == nullptr) {
            this->Clear();
        } else if (text[0] != 0) {
            this->Assign(text, static_cast<int>(strlen(text)));
        }
    }
    mstring(const mstring& other) : mbinstr<C>(other) {}
    explicit mstring(const mbinstr<C>& other) : mbinstr<C>(other) {}
    mstring& operator=(const mstring& other) {
        this->Assign(other);
        return *this;
    }

    using mbinstr<C>::operator==;
    using mbinstr<C>::operator!=;
    using mbinstr<C>::operator>;
    using mbinstr<C>::operator>=;
    using mbinstr<C>::operator<;
    using mbinstr<C>::operator<=;
    using mbinstr<C>::operator+=;
    using mbinstr<C>::operator+;

    // Comparisons with a text by characters; a string without a block equals only a null
    // text.
    virtual bool operator==(const C* text) const { return Compare(text) == 0; }
    virtual bool operator!=(const C* text) const { return Compare(text) != 0; }
    virtual bool operator>(const C* text) const { return Compare(text) > 0; }
    virtual bool operator>=(const C* text) const { return Compare(text) >= 0; }
    virtual bool operator<(const C* text) const { return Compare(text) < 0; }
    virtual bool operator<=(const C* text) const { return Compare(text) <= 0; }

    virtual mstring& operator+=(const C* text) {
        if (text != nullptr) {
            this->Append(text, static_cast<int>(strlen(text)));
        }
        return *this;
    }
    virtual mstring operator+(const C* text) const {
        mstring result(*this);
        result += text;
        return result;
    }

    // Replaces every occurrence of from, found at character boundaries, by to; returns
    // their number. Equal texts change nothing.
    int ReplaceAll(const C* from, const C* to) {
        if (from == nullptr || MbsCompare(from, to, 0, Rule()) == 0) {
            return 0;
        }
        int count = CountOf(from);
        if (count == 0) {
            return 0;
        }
        int fromLength = static_cast<int>(strlen(from));
        int toLength = to != nullptr ? static_cast<int>(strlen(to)) : 0;
        int64_t total = int64_t{this->length} + int64_t{count} * (toLength - fromLength);
        C* block = this->NewBlock(total > INT32_MAX ? -1 : static_cast<int>(total));
        const C* in = this->data;
        const C* end = this->data + this->length;
        C* out = block;
        for (int done = 0; done < count; done++) {
            const C* hit = MbsFindIn(in, static_cast<int>(end - in), from, fromLength, Rule());
            memcpy(out, in, static_cast<size_t>(hit - in));
            out += hit - in;
            if (toLength > 0) {
                memcpy(out, to, static_cast<size_t>(toLength));
            }
            out += toLength;
            in = hit + fromLength;
        }
        memcpy(out, in, static_cast<size_t>(end - in));
        this->Take(block, static_cast<int>(total));
        return count;
    }

    // Occurrences of text at character boundaries, each search starting after the last.
    int CountOf(const C* text) const {
        if (this->data == nullptr || text == nullptr) {
            return 0;
        }
        int textLength = static_cast<int>(strlen(text));
        int count = 0;
        const C* end = this->data + this->length;
        for (const C* p = this->data;; count++) {
            p = MbsFindIn(p, static_cast<int>(end - p), text, textLength, Rule());
            if (p == nullptr) {
                return count;
            }
            p += textLength;
        }
    }

private:
    static MCharRule Rule() { return MCharRuleOf(CodePage); }
    int Compare(const C* text) const { return MbsCompare(this->data, text, 0, Rule()); }
};
