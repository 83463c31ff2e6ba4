#include "sorted_json_rewriter.h"

#include <algorithm>
#include <cstring>

bool SortedJsonRewriter::run(char *out, std::vector<std::pair<qsizetype, bool>> &items)
{
    base = o = out;
    skipSpace();
    if (p == end || *p != '[')
        return false;
    ++p;
    skipSpace();
    if (p != end && *p == ']') {
        ++p;
    } else {
        for (;;) {
            skipSpace();
            items.emplace_back(size(), p != end && *p == '{');
            if (!value(0))
                return false;
            skipSpace();
            if (p == end)
                return false;
            if (*p == ']') {
                ++p;
                break;
            }
            if (*p != ',')
                return false;
            ++p;
        }
    }
    skipSpace();
    return p == end;
}

void SortedJsonRewriter::put(const char *from, qsizetype length)
{
    std::memcpy(o, from, static_cast<size_t>(length));
    o += length;
}

void SortedJsonRewriter::skipSpace()
{
    while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
}

bool SortedJsonRewriter::value(int depth)
{
    if (p == end)
        return false;
    switch (*p) {
    case '{':
        return object(depth + 1);
    case '[':
        return array(depth + 1);
    case '"':
        return string();
    case 't':
        return literal("true", 4);
    case 'f':
        return literal("false", 5);
    case 'n':
        return literal("null", 4);
    default:
        return integer();
    }
}

bool SortedJsonRewriter::literal(const char *word, qsizetype length)
{
    if (end - p < length || std::memcmp(p, word, static_cast<size_t>(length)) != 0)
        return false;
    put(p, length);
    p += length;
    return true;
}

bool SortedJsonRewriter::integer()
{
    // -?(0|[1-9][0-9]*), at most 15 digits, not -0: the toolkit reads these
    // as integers and writes them back unchanged.
    const char *start = p;
    if (*p == '-')
        ++p;
    const char *digits = p;
    while (p != end && *p >= '0' && *p <= '9')
        ++p;
    const qsizetype count = p - digits;
    if (count == 0 || count > 15 || (*digits == '0' && (count > 1 || digits != start)))
        return false;
    if (p != end && (*p == '.' || *p == 'e' || *p == 'E'))
        return false;
    put(start, p - start);
    return true;
}

bool SortedJsonRewriter::string()
{
    const char *start = p++;
    while (p != end && *p != '"') {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c >= 0x80 || c == '\\')
            return false;
        ++p;
    }
    if (p == end)
        return false;
    ++p;
    put(start, p - start);
    return true;
}

bool SortedJsonRewriter::array(int depth)
{
    if (depth > maxDepth)
        return false;
    ++p;
    put('[');
    skipSpace();
    if (p != end && *p == ']') {
        ++p;
        put(']');
        return true;
    }
    for (;;) {
        skipSpace();
        if (!value(depth))
            return false;
        skipSpace();
        if (p == end)
            return false;
        if (*p == ']') {
            ++p;
            put(']');
            return true;
        }
        if (*p != ',')
            return false;
        ++p;
        put(',');
    }
}

bool SortedJsonRewriter::object(int depth)
{
    if (depth > maxDepth)
        return false;
    ++p;
    const qsizetype open = size();
    put('{');
    skipSpace();
    if (p != end && *p == '}') {
        ++p;
        put('}');
        return true;
    }
    const size_t first = members.size();
    bool sorted = true;
    if (!objectMembers(depth, first, sorted))
        return false;
    const bool ok = sorted || reorder(open, first);
    members.resize(first);
    put('}');
    return ok;
}

// The members of an object, up to and past its closing brace; notes whether
// they came in key order.
bool SortedJsonRewriter::objectMembers(int depth, size_t first, bool &sorted)
{
    for (;;) {
        skipSpace();
        if (p == end || *p != '"')
            return false;
        const qsizetype begin = size();
        if (!string())
            return false;
        const Member member {begin + 1, size() - begin - 2, begin, 0};
        skipSpace();
        if (p == end || *p != ':')
            return false;
        ++p;
        put(':');
        skipSpace();
        if (!value(depth))
            return false;
        members.push_back(member);
        members.back().length = size() - begin;
        if (members.size() - first > 1 && !keyLess(members[members.size() - 2], members.back()))
            sorted = false;
        skipSpace();
        if (p == end)
            return false;
        if (*p == '}') {
            ++p;
            return true;
        }
        if (*p != ',')
            return false;
        ++p;
        put(',');
    }
}

// Byte order of ASCII keys is the toolkit's key order.
bool SortedJsonRewriter::keyLess(const Member &a, const Member &b) const
{
    const int order = std::memcmp(base + a.keyBegin, base + b.keyBegin,
        static_cast<size_t>(std::min(a.keyLength, b.keyLength)));
    return order < 0 || (order == 0 && a.keyLength < b.keyLength);
}

// Rewrites the members of the object opened at open in key order.
bool SortedJsonRewriter::reorder(qsizetype open, size_t first)
{
    auto begin = members.begin() + static_cast<std::ptrdiff_t>(first);
    std::sort(begin, members.end(), [this](const Member &a, const Member &b) { return keyLess(a, b); });
    for (auto it = begin; it + 1 != members.end(); ++it)
        if (!keyLess(*it, *(it + 1)))
            return false; // a repeated key: left to the toolkit
    scratch.clear();
    for (auto it = begin; it != members.end(); ++it) {
        if (it != begin)
            scratch.push_back(',');
        scratch.append(base + it->begin, static_cast<size_t>(it->length));
    }
    o = base + open + 1;
    put(scratch.data(), static_cast<qsizetype>(scratch.size()));
    return true;
}
