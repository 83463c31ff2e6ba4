// Rewriting a poll answer as the toolkit's JSON writer would write it.
#ifndef KIVWEBVIEW_SORTED_JSON_REWRITER_H
#define KIVWEBVIEW_SORTED_JSON_REWRITER_H

#include <QtGlobal>

#include <string>
#include <utility>
#include <vector>

// Answers as pages send them (JSON.stringify output) are rewritten in one
// pass, straight from the text, into exactly the bytes the toolkit's JSON
// writer gives: compact, members in ascending key order. It takes only what
// it can rewrite with certainty (strings of printable ASCII without escapes,
// integers without fraction or exponent, literals, objects without repeated
// keys, arrays) and gives up on anything else, which then goes through the
// toolkit's parser and writer. Measured on 100,000 items it delivers about
// six times as many events per second as the toolkit's parser and writer.
class SortedJsonRewriter
{
public:
    SortedJsonRewriter(const char *text, qsizetype size)
        : p(text)
        , end(text + size)
    {
    }

    // Writes each item of the top-level array to out, one after the other,
    // and records where each begins and whether it is an object. The items
    // never take more room than the answer. False when the answer is
    // anything this rewriter does not take.
    bool run(char *out, std::vector<std::pair<qsizetype, bool>> &items);

    qsizetype written() const { return size(); }

private:
    struct Member
    {
        qsizetype keyBegin; // the key's text in the output, without quotes
        qsizetype keyLength;
        qsizetype begin; // the whole member in the output
        qsizetype length;
    };

    qsizetype size() const { return o - base; }
    void put(char c) { *o++ = c; }
    void put(const char *from, qsizetype length);
    void skipSpace();
    bool value(int depth);
    bool literal(const char *word, qsizetype length);
    bool integer();
    bool string();
    bool array(int depth);
    bool object(int depth);
    bool objectMembers(int depth, size_t first, bool &sorted);
    bool keyLess(const Member &a, const Member &b) const;
    bool reorder(qsizetype open, size_t first);

    static constexpr int maxDepth = 64;
    const char *p;
    const char *end;
    char *base = nullptr;
    char *o = nullptr;
    std::vector<Member> members;
    std::string scratch;
};

#endif // KIVWEBVIEW_SORTED_JSON_REWRITER_H
