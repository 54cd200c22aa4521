#include "shell/rtf/RtfReader.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessor::shell {

namespace {

// Windows code page 1252 from 80h to 9Fh; the rest of the code page is
// Latin-1. The five unassigned bytes become the replacement character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QChar FromCp1252(uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
}

// Destinations whose content is never text. Other destinations are skipped
// only when marked with \*, as RTF intends for destinations a reader may
// not know.
bool IsSkippedDestination(const QByteArray& word) {
    static const char* const kSkipped[] = {
        "fonttbl",    "stylesheet",
        "info",       "pict",
        "object",     "header",
        "headerl",    "headerr",
        "headerf",    "footer",
        "footerl",    "footerr",
        "footerf",    "footnote",
        "listtable",  "listoverridetable",
        "rsidtbl",    "revtbl",
        "filetbl",    "xmlnstbl",
        "themedata",  "colorschememapping",
        "datastore",  "latentstyles",
        "fldinst",    "generator",
        "pgdsctbl",   "private",
        "nonshppict", "bkmkstart",
        "bkmkend",    "txe",
    };
    return std::any_of(std::begin(kSkipped), std::end(kSkipped),
                       [&](const char* s) { return word == s; });
}

enum class TDestination { Text, ColorTable, Skipped };

// The state a group saves and restores.
struct TState {
    TDestination destination = TDestination::Text;
    QTextCharFormat chars;
    QTextBlockFormat block;
    int unicodeSkip = 1;  // \ucN: fallback characters after each \uN
};

// Deeper nesting than this is read with the state of the deepest group kept,
// so hostile input cannot make the state stack grow without bound.
constexpr int kMaxDepth = 200;
// Numbers of control words are read up to this many digits (RTF allows a
// signed 16-bit value; some writers emit 32 bits).
constexpr int kMaxDigits = 10;

class TReader {
public:
    TReader(QByteArrayView rtf, QTextDocument& document) : in_(rtf), cursor_(&document) {}

    void Run() {
        state_.push_back(TState{});
        while (pos_ < in_.size() && !done_) {
            auto c = static_cast<uint8_t>(in_[pos_++]);
            switch (c) {
                case '{':
                    OpenGroup();
                    break;
                case '}':
                    CloseGroup();
                    break;
                case '\\':
                    ControlWord();
                    break;
                case '\r':
                case '\n':
                    break;
                default:
                    // Only a control word right after '{' names a destination.
                    groupStart_ = false;
                    if (State().destination == TDestination::ColorTable && c == ';')
                        EndColour();
                    else if (c == '\t')
                        Text(QChar('\t'));
                    else if (c >= 0x20)
                        Text(FromCp1252(c));
                    break;
            }
        }
        Flush();
        cursor_.setBlockFormat(state_.back().block);
    }

private:
    TState& State() { return state_.back(); }

    void OpenGroup() {
        skipFallback_ = 0;
        if (static_cast<int>(state_.size()) >= kMaxDepth)
            ++flatDepth_;
        else
            state_.push_back(State());
        groupStart_ = true;
    }

    void CloseGroup() {
        skipFallback_ = 0;
        groupStart_ = false;
        if (flatDepth_ > 0) {
            --flatDepth_;
            return;
        }
        if (state_.size() <= 2) {
            // The document's own group has ended; what follows is not RTF.
            done_ = true;
            return;
        }
        state_.pop_back();
    }

    // Reads a control word or control symbol after its backslash.
    void ControlWord() {
        bool atGroupStart = groupStart_;
        groupStart_ = false;
        if (pos_ >= in_.size())
            return;
        char c = in_[pos_];
        if (!IsLetter(c)) {
            ++pos_;
            ControlSymbol(c, atGroupStart);
            return;
        }
        QByteArray word;
        while (pos_ < in_.size() && IsLetter(in_[pos_]) && word.size() < 32)
            word.append(in_[pos_++]);
        while (pos_ < in_.size() && IsLetter(in_[pos_]))
            ++pos_;  // an overlong word is unknown anyway
        bool hasNumber = false, negative = false;
        long long number = 0;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() &&
            IsDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        for (int digits = 0; pos_ < in_.size() && IsDigit(in_[pos_]); ++pos_, ++digits) {
            if (digits < kMaxDigits)
                number = number * 10 + (in_[pos_] - '0');
            hasNumber = true;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ')
            ++pos_;
        Apply(
            word, hasNumber,
            static_cast<int>(std::clamp(negative ? -number : number, -2147483647LL, 2147483647LL)),
            atGroupStart);
    }

    void ControlSymbol(char c, bool atGroupStart) {
        switch (c) {
            case '\\':
            case '{':
            case '}':
                Text(QChar(c));
                break;
            case '~':
                Text(QChar(0x00A0));
                break;
            case '_':
                Text(QChar(0x2011));
                break;
            case '-':
                Text(QChar(0x00AD));
                break;
            case '\'':
                HexCharacter();
                break;
            case '*':
                // An ignorable destination: skipped whole when it opens a group.
                if (atGroupStart)
                    State().destination = TDestination::Skipped;
                break;
            case '\r':
            case '\n':
                Paragraph();  // a backslash before a line end is a \par
                break;
            default:
                break;
        }
    }

    void HexCharacter() {
        int value = 0;
        for (int i = 0; i < 2; ++i) {
            if (pos_ >= in_.size())
                return;
            int digit = HexValue(in_[pos_]);
            if (digit < 0)
                return;
            value = value * 16 + digit;
            ++pos_;
        }
        Text(FromCp1252(static_cast<uint8_t>(value)));
    }

    void Apply(const QByteArray& word, bool hasNumber, int n, bool atGroupStart) {
        TState& s = State();
        if (word == "bin" && hasNumber) {
            // Binary data follows, in any destination; it is never text and
            // may hold braces and backslashes.
            pos_ += std::min<qsizetype>(std::max(n, 0), in_.size() - pos_);
            return;
        }
        if (atGroupStart &&
            (IsSkippedDestination(word) || s.destination == TDestination::Skipped)) {
            s.destination = TDestination::Skipped;
            return;
        }
        if (word == "colortbl" && atGroupStart) {
            s.destination = TDestination::ColorTable;
            colours_.clear();
            colour_ = {};
            return;
        }
        if (s.destination == TDestination::ColorTable) {
            int v = std::clamp(n, 0, 255);
            if (word == "red")
                colour_.red = v, colour_.set = true;
            else if (word == "green")
                colour_.green = v, colour_.set = true;
            else if (word == "blue")
                colour_.blue = v, colour_.set = true;
            return;
        }
        if (s.destination == TDestination::Skipped)
            return;

        bool on = !hasNumber || n != 0;
        if (word == "par" || word == "sect" || word == "page" || word == "row") {
            Paragraph();
        } else if (word == "line") {
            Text(QChar::LineSeparator);
        } else if (word == "tab" || word == "cell") {
            Text(QChar('\t'));
        } else if (word == "u" && hasNumber) {
            // A signed 16-bit value: characters from 8000h are written negative.
            // Control characters and values outside 16 bits are not text.
            int unit = n < 0 ? n + 65536 : n;
            if (unit >= 0x20 && unit <= 0xFFFF)
                Text(QChar(static_cast<char16_t>(unit)));
            skipFallback_ = s.unicodeSkip;
            return;
        } else if (word == "uc" && hasNumber) {
            s.unicodeSkip = std::clamp(n, 0, 8);
        } else if (word == "emdash" || word == "endash" || word == "bullet" || word == "lquote" ||
                   word == "rquote" || word == "ldblquote" || word == "rdblquote") {
            static const std::pair<const char*, char16_t> kSymbols[] = {
                {"emdash", 0x2014}, {"endash", 0x2013},    {"bullet", 0x2022},   {"lquote", 0x2018},
                {"rquote", 0x2019}, {"ldblquote", 0x201C}, {"rdblquote", 0x201D}};
            for (const auto& [name, ch] : kSymbols)
                if (word == name)
                    Text(QChar(ch));
        } else if (word == "b") {
            SetChars(
                [&](QTextCharFormat& f) { f.setFontWeight(on ? QFont::Bold : QFont::Normal); });
        } else if (word == "i") {
            SetChars([&](QTextCharFormat& f) { f.setFontItalic(on); });
        } else if (word == "ul") {
            SetChars([&](QTextCharFormat& f) { f.setFontUnderline(on); });
        } else if (word == "ulnone") {
            SetChars([&](QTextCharFormat& f) { f.setFontUnderline(false); });
        } else if (word == "fs" && hasNumber && n > 0) {
            // Half points; sizes past 800 points are not text anyone reads.
            SetChars([&](QTextCharFormat& f) { f.setFontPointSize(std::min(n, 1600) / 2.0); });
        } else if (word == "cf" && hasNumber) {
            SetChars([&](QTextCharFormat& f) {
                if (n > 0 && n < colours_.size() && colours_[n].set)
                    f.setForeground(QColor(colours_[n].red, colours_[n].green, colours_[n].blue));
                else
                    f.clearForeground();  // 0 and unknown entries: the automatic colour
            });
        } else if (word == "plain") {
            SetChars([](QTextCharFormat& f) { f = QTextCharFormat(); });
        } else if (word == "pard") {
            s.block = QTextBlockFormat();
        } else if (word == "ql" || word == "qc" || word == "qr" || word == "qj") {
            Qt::Alignment a = word == "qc"   ? Qt::AlignHCenter
                              : word == "qr" ? Qt::AlignRight
                              : word == "qj" ? Qt::AlignJustify
                                             : Qt::AlignLeft;
            s.block.setAlignment(a);
        } else if ((word == "li" || word == "ri" || word == "fi" || word == "sb" || word == "sa") &&
                   hasNumber) {
            // Twips; 15 twips make a pixel at 96 dpi.
            double px = std::clamp(n, -32767, 32767) / 15.0;
            if (word == "li")
                s.block.setLeftMargin(std::max(px, 0.0));
            else if (word == "ri")
                s.block.setRightMargin(std::max(px, 0.0));
            else if (word == "fi")
                s.block.setTextIndent(px);
            else if (word == "sb")
                s.block.setTopMargin(std::max(px, 0.0));
            else
                s.block.setBottomMargin(std::max(px, 0.0));
        }
        skipFallback_ = 0;
    }

    template <typename F>
    void SetChars(F change) {
        QTextCharFormat next = State().chars;
        change(next);
        if (next != State().chars) {
            Flush();
            State().chars = next;
        }
    }

    void Text(QChar c) {
        if (skipFallback_ > 0) {
            --skipFallback_;
            return;
        }
        if (State().destination != TDestination::Text)
            return;
        if (!pending_.isEmpty() && pendingFormat_ != State().chars)
            Flush();
        pendingFormat_ = State().chars;
        pending_.append(c);
    }

    void Flush() {
        if (!pending_.isEmpty())
            cursor_.insertText(pending_, pendingFormat_);
        pending_.clear();
    }

    void Paragraph() {
        skipFallback_ = 0;
        if (State().destination != TDestination::Text)
            return;
        Flush();
        // Paragraph properties in force at the paragraph mark belong to the
        // paragraph it ends.
        cursor_.setBlockFormat(State().block);
        cursor_.insertBlock(State().block, State().chars);
    }

    void EndColour() {
        colours_.append(colour_);
        colour_ = {};
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static int HexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    struct TColour {
        int red = 0, green = 0, blue = 0;
        bool set = false;
    };

    QByteArrayView in_;
    qsizetype pos_ = 0;
    QTextCursor cursor_;
    std::vector<TState> state_;
    int flatDepth_ = 0;
    bool groupStart_ = false;
    bool done_ = false;
    int skipFallback_ = 0;
    QList<TColour> colours_;
    TColour colour_;
    QString pending_;
    QTextCharFormat pendingFormat_;
};

}  // namespace

bool ReadRtf(QByteArrayView rtf, QTextDocument& document) {
    document.clear();
    qsizetype start = 0;
    while (start < rtf.size() && std::strchr(" \t\r\n", rtf[start]) && rtf[start] != '\0')
        ++start;
    QByteArrayView body = rtf.sliced(start);
    if (!body.startsWith("{\\rtf"))
        return false;
    TReader(body, document).Run();
    return true;
}

}  // namespace tessor::shell
