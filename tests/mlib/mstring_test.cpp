// The string classes: building, copying, cutting, searching, comparing and replacing, and
// their int exceptions.
#include <gtest/gtest.h>

#include <string>

#include "mlib/mstring.h"

namespace {

typedef mbinstr<char> Bytes;
typedef mstring<char> Text;

std::string Of(const Bytes& s) {
    return std::string(s.GetString(), static_cast<size_t>(s.GetLength()));
}

Bytes Make(const std::string& bytes) {
    Bytes s;
    s.Assign(bytes.data(), static_cast<int>(bytes.size()));
    return s;
}

TEST(MbinstrBuilding, ADefaultStringHoldsAnEmptyBlockAndClearLeavesNone) {
    Bytes s;
    EXPECT_TRUE(s.HasData());
    EXPECT_EQ(0, s.GetLength());
    EXPECT_STREQ("", s.GetString());
    s.Clear();
    EXPECT_FALSE(s.HasData());
    EXPECT_STREQ("", s.GetString());
    EXPECT_EQ(0, s.CopyTo(nullptr, 0));
}

TEST(MbinstrBuilding, AssignKeepsNulBytesAndCopiesAreDeep) {
    Bytes s = Make(std::string("a\0b", 3));
    EXPECT_EQ(3, s.GetLength());
    Bytes copy(s);
    s.Assign('z');
    EXPECT_EQ("z", Of(s));
    EXPECT_EQ(std::string("a\0b", 3), Of(copy));
    EXPECT_EQ(0, copy.Assign("x", 0));
    EXPECT_FALSE(copy.HasData());
    Bytes empty;
    empty.Clear();
    s.Assign(empty);
    EXPECT_FALSE(s.HasData());
}

TEST(MbinstrBuilding, AssignAndAppendAcceptTheirOwnBytes) {
    Bytes s = Make("abcdef");
    s.Assign(s.GetString() + 2, 4);  // a new block from the old one's bytes
    EXPECT_EQ("cdef", Of(s));
    const char* block = s.GetString();
    s.Assign("wxyz", 4);  // the same length: overwritten in place
    EXPECT_EQ("wxyz", Of(s));
    EXPECT_EQ(block, s.GetString());
    s = Make("ab");
    s.Append(s);
    EXPECT_EQ("abab", Of(s));
    s.Append(s.GetString() + 1, 2);
    EXPECT_EQ("ababba", Of(s));
}

TEST(MbinstrBuilding, CopyToResizeAndReverse) {
    Bytes s = Make("abcdef");
    char buffer[8] = {};
    EXPECT_EQ(3, s.CopyTo(buffer, 3));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(6, s.CopyTo(buffer, 0));
    EXPECT_EQ(6, s.CopyTo(nullptr, 5));
    EXPECT_EQ(3, s.Resize(3));
    EXPECT_EQ("abc", Of(s));
    s.Resize(5);
    EXPECT_EQ(std::string("abc\0\0", 5), Of(s));
    s = Make("abc");
    s.Reverse();
    EXPECT_EQ("cba", Of(s));
    EXPECT_EQ("cbacba", Of(s + s));
    s += Make("!");
    EXPECT_EQ("cba!", Of(s));
}

TEST(MbinstrCutting, MidTakesAByteRange) {
    Bytes s = Make("abcdef");
    EXPECT_EQ("cdef", Of(s.Mid(2, 0)));
    EXPECT_EQ("cd", Of(s.Mid(2, 4)));
    EXPECT_EQ("", Of(s.Mid(9, 12)));
    EXPECT_EQ("abcdef", Of(s.Mid(-3, 99)));
    EXPECT_EQ("", Of(s.Mid(4, 2)));
}

TEST(MbinstrCutting, AtReachesEveryByteAndTheNulAndThrows4097Elsewhere) {
    Bytes s = Make("abc");
    EXPECT_EQ('b', *s.At(1));
    EXPECT_EQ('\0', *s.At(3));
    EXPECT_EQ(s.GetString() + 3, s.At(3));
    for (int index : {-1, 4}) {
        try {
            s.At(index);
            ADD_FAILURE() << "no exception for " << index;
        } catch (int code) {
            EXPECT_EQ(4097, code);
        }
    }
    const Bytes& constant = s;
    EXPECT_THROW(constant.At(-1), int);
}

TEST(MbinstrCutting, ANegativeSizeCannotBeAllocatedAndThrows4096) {
    Bytes s = Make("abc");
    try {
        s.Resize(-1);
        ADD_FAILURE() << "no exception";
    } catch (int code) {
        EXPECT_EQ(4096, code);
    }
    EXPECT_EQ("abc", Of(s));
}

TEST(MbinstrSearching, FindFindLastAndCount) {
    Bytes s = Make("aaaab");
    EXPECT_EQ(s.GetString() + 1, s.Find("aaab", 4));
    EXPECT_EQ(s.GetString() + 2, s.FindLast(Make("aa")));
    EXPECT_EQ(nullptr, s.Find("x", 1));
    EXPECT_EQ(nullptr, s.Find("a", 0));
    EXPECT_EQ(2, Make("aaaa").Count("aa", 2));
    EXPECT_EQ(0, Make("aaaa").Count("aa", 0));
    EXPECT_EQ(s.GetString() + 4, s.Find(Make("b")));
}

TEST(MbinstrComparing, EqualityAndTheOrderOfSignedBytes) {
    EXPECT_TRUE(Make("abc") == Make("abc"));
    EXPECT_TRUE(Make("abc") != Make("abd"));
    Bytes none;
    none.Clear();
    Bytes alsoNone;
    alsoNone.Clear();
    EXPECT_TRUE(none == alsoNone);
    EXPECT_TRUE(Make("a") == 'a');
    EXPECT_TRUE(Make("b") > Make("a"));
    EXPECT_TRUE(Make("a") > '\x80');  // 0x80 is negative as a signed byte
    EXPECT_TRUE(Make("\x80") < Make("a"));
    EXPECT_TRUE(Make("a") >= Make("a"));
    EXPECT_TRUE(Make("a") <= Make("b"));
    // Strings that agree over the shorter length are neither greater nor smaller.
    EXPECT_FALSE(Make("ab") < Make("abc"));
    EXPECT_FALSE(Make("ab") > Make("abc"));
    EXPECT_FALSE(Make("ab") >= Make("abc"));
}

TEST(MbinstrReplacing, ReplaceGoesLeftToRightUpToMax) {
    Bytes s = Make("a-b-c-d");
    EXPECT_EQ(2, s.Replace("-", 1, "==", 2, 2));
    EXPECT_EQ("a==b==c-d", Of(s));
    EXPECT_EQ(1, s.Replace(Make("-"), Make(""), 0));
    EXPECT_EQ("a==b==cd", Of(s));
    EXPECT_EQ(2, s.Replace("==", 2, "=", 1, 99));
    EXPECT_EQ("a=b=cd", Of(s));
    EXPECT_EQ(0, s.Replace("=", 1, "=", 1, 0));
    EXPECT_EQ(2, Make("aaaa").Replace("aa", 2, "b", 1, 0));
    Bytes t = Make("xyx");
    EXPECT_EQ(2, t.Replace(Make("x"), t, 0));  // to is the string itself, as it was
    EXPECT_EQ("xyxyxyx", Of(t));
}

TEST(MstringText, BuiltFromATextAndComparedByCharacters) {
    Text s("abc");
    EXPECT_EQ(3, s.GetLength());
    EXPECT_TRUE(s == "abc");
    EXPECT_TRUE(s != "abd");
    EXPECT_TRUE(s < "abd");
    EXPECT_TRUE(s <= "abc");
    EXPECT_TRUE(s > "ab");  // by texts a longer one sorts after its beginning
    EXPECT_TRUE(s >= "ab");
    EXPECT_FALSE(s == static_cast<const char*>(nullptr));
    Text none(static_cast<const char*>(nullptr));
    EXPECT_FALSE(none.HasData());
    EXPECT_TRUE(none == static_cast<const char*>(nullptr));
    EXPECT_FALSE(none == "");
}

// An empty text has a block holding its terminator: built from "", copied or assigned, it
// equals "" (without a block it equalled only a null text).
TEST(MstringText, AnEmptyTextAndItsCopiesHoldABlockAndEqualTheEmptyText) {
    Text fromText("");
    Text copy(fromText);
    Text assigned("x");
    assigned = fromText;
    Bytes empty;
    Bytes copiedBytes(empty);
    for (const Text* s : {&fromText, &copy, &assigned}) {
        EXPECT_TRUE(s->HasData());
        EXPECT_EQ(0, s->GetLength());
        EXPECT_TRUE(*s == "");
        EXPECT_EQ(0, *s->At(0));
    }
    EXPECT_TRUE(copiedBytes.HasData());
    EXPECT_TRUE(copiedBytes == Text(""));
}

TEST(MstringText, AppendingTexts) {
    Text s("\"");
    Text quoted = s + "a\"b" + "\"";
    EXPECT_EQ("\"a\"b\"", Of(quoted));
    quoted += "!";
    EXPECT_EQ("\"a\"b\"!", Of(quoted));
    quoted += static_cast<const char*>(nullptr);
    EXPECT_EQ(6, quoted.GetLength());
}

TEST(MstringText, ReplaceAllDoublesQuotes) {
    Text plain("no quotes");
    EXPECT_EQ(0, plain.ReplaceAll("\"", "\"\""));
    EXPECT_EQ("no quotes", Of(plain));
    Text quotes("\"\"\"");
    EXPECT_EQ(3, quotes.ReplaceAll("\"", "\"\""));
    EXPECT_EQ("\"\"\"\"\"\"", Of(quotes));
    Text same("aaa");
    EXPECT_EQ(0, same.ReplaceAll("a", "a"));
    Text shrink("a--b--");
    EXPECT_EQ(2, shrink.ReplaceAll("--", "-"));
    EXPECT_EQ("a-b-", Of(shrink));
    EXPECT_EQ(2, Text("a--b--").CountOf("--"));
    EXPECT_EQ(0, Text("abc").CountOf(""));
}

TEST(MstringText, ReplaceAllLeavesTrailBytesOfShiftJisAlone) {
    const char path[] = "C:\\\x95\x5C\\\x83\x5C";  // C:\表\ソ
    mstring<char, MCP_SJIS> sjis(path);
    EXPECT_EQ(2, sjis.ReplaceAll("\\", "/"));
    EXPECT_EQ("C:/\x95\x5C/\x83\x5C", Of(sjis));
    mstring<char, MCP_LATIN1> bytes(path);
    EXPECT_EQ(4, bytes.ReplaceAll("\\", "/"));
}

TEST(MstringText, ReplaceAllKeepsBytesAfterANul) {
    Text s;
    s.Assign("a\"\0\"b", 5);
    EXPECT_EQ(2, s.ReplaceAll("\"", "'"));
    EXPECT_EQ(std::string("a'\0'b", 5), Of(s));
}

}  // namespace
