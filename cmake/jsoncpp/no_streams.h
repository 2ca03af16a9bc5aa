// Included first into every source file that uses JsonCpp (cmake/jsoncpp.cmake),
// JsonCpp's own included: JsonCpp without the C++ library's string streams.
//
// JsonCpp builds its failure messages, reads its floating-point numbers and
// writes through its stream writers with std::ostringstream and
// std::istringstream. Any one of those linked in brings the C++ library's
// whole locale machinery along (every facet for two character types and two
// string layouts), several hundred KB of the installer. The stand-ins below
// do the same jobs without a stream. Reading a document from a std::istream
// keeps working.
#pragma once

#include <cmath>
#include <cstdlib>
#include <iterator>
#include <streambuf>
#include <string>

#include <json/config.h>

// In place of <json/assertions.h>: the same checks and exceptions (JsonCpp's
// default), the message handed over as the text it already is.
#define JSON_ASSERTIONS_H_INCLUDED
#define JSON_ASSERT(condition)                                                \
    do {                                                                      \
        if (!(condition)) Json::throwLogicError("assert json failed");        \
    } while (0)
#define JSON_FAIL_MESSAGE(message) Json::throwLogicError(message)
#define JSON_ASSERT_MESSAGE(condition, message)                               \
    do {                                                                      \
        if (!(condition)) JSON_FAIL_MESSAGE(message);                         \
    } while (0)

namespace jsoncpp_no_streams {

// The reader's use of an input string stream: `is >> value` on a number
// token (an optional minus, digits, a point, an exponent), then a test of the
// stream. std::num_get in the "C" locale hands such a token to strtod and
// fails unless all of it was read and the result is within a double's range.
class NumberText {
public:
    explicit NumberText(const std::string& text) : text_(text) {}

    NumberText& operator>>(double& value)
    {
        const char* begin = text_.c_str();
        char* end = nullptr;
        value = std::strtod(begin, &end);
        failed_ = end == begin || *end != '\0' || std::isinf(value);
        return *this;
    }

    bool operator!() const { return failed_; }

private:
    std::string text_;
    bool failed_ = false;
};

// Where the writers put their text, and what reading from a std::istream
// collects the document in: a growing string.
class Text {
public:
    Text& operator<<(const std::string& text) { text_ += text; return *this; }
    Text& operator<<(const char* text) { text_ += text; return *this; }
    Text& operator<<(char c) { text_ += c; return *this; }
    Text& operator<<(std::streambuf* in)
    {
        if (in) text_.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return *this;
    }
    Text& write(const char* text, std::streamsize n) { text_.append(text, static_cast<size_t>(n)); return *this; }

    std::string str() const { return text_; }

private:
    std::string text_;
};

}  // namespace jsoncpp_no_streams

// <json/config.h> has declared these names as the standard streams above;
// from here on they mean the stand-ins.
#define IStringStream jsoncpp_no_streams::NumberText
#define OStringStream jsoncpp_no_streams::Text
#define OStream jsoncpp_no_streams::Text
