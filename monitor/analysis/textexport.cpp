#include "monitor/analysis/textexport.h"

#include "common/tdatetime.h"
#include "monitor/analysis/outputfile.h"
#include "monitor/datafile.h"

#include <QLocale>
#include <cmath>
#include <vector>

namespace hub {

namespace {

constexpr std::uint8_t kTab = 0x09;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kBlank = 0x20;
constexpr std::uint8_t kBar = 0x7C;

// Field starts: date/time, ALLARM, FAILURE, STANDBY (8 wide), TAMPER, DISQU.,
// BLIND, then the beams of barriers 1..8 (16 wide).
constexpr int kAllarm = 26;
constexpr int kFailure = 34;
constexpr int kStandby = 42;
constexpr int kTamper = 50;
constexpr int kDisqu = 66;
constexpr int kBlind = 82;
constexpr int beamField(int barrier) { return 98 + 16 * (barrier - 1); }

void put(ExportLine& l, int at, const char* s) {
    for (; *s; ++s) l[at++] = static_cast<std::uint8_t>(*s);
}

ExportLine makeHeader1() {
    ExportLine l{}; // NUL everywhere the text does not reach
    put(l, 0, "_Data - Time\t");
    put(l, kAllarm, "ALLARM\t");
    put(l, kFailure, "FAILURE\t");
    put(l, kStandby, "STANDBY\t");
    put(l, kTamper, "TAMPER\t");
    put(l, kDisqu, "DISQU.\t");
    put(l, kBlind, "BLIND\t");
    for (int n = 1; n <= 8; ++n) {
        const char bar[] = {'B', 'A', 'R', ' ', '"', static_cast<char>('0' + n), '"', '\t', 0};
        put(l, beamField(n), bar);
    }
    l[226] = kCr;
    return l;
}

ExportLine makeHeader2() {
    ExportLine l{};
    l[0] = kTab;
    put(l, kAllarm, "A|B|C|D\t");
    put(l, kFailure, "A|B|C|D\t");
    put(l, kStandby, "A|B|C|D\t");
    for (int f : {kTamper, kDisqu, kBlind}) put(l, f, "1|2|3|4|5|6|7|8\t");
    for (int n = 1; n <= 8; ++n) put(l, beamField(n), "1|2|3|4|5|6|7|8\t");
    l[226] = kCr;
    return l;
}

// A data line before its marks: blanks, "_", the separators, TABs and CR.
ExportLine makeDataTemplate() {
    ExportLine l;
    l.fill(kBlank);
    l[0] = '_';
    l[25] = kTab;
    for (int f : {kAllarm, kFailure, kStandby}) {
        l[f + 1] = l[f + 3] = l[f + 5] = kBar;
        l[f + 7] = kTab;
    }
    for (int f = kTamper; f < 226; f += 16) {
        for (int i = 1; i <= 13; i += 2) l[f + i] = kBar;
        l[f + 15] = kTab;
    }
    l[226] = kCr;
    return l;
}

// The 15 bytes of a 16-wide field for a beam byte: marks at even positions.
struct BeamFields {
    std::uint8_t f[256][15];
    BeamFields() {
        for (int b = 0; b < 256; ++b)
            for (int i = 0; i < 15; ++i)
                f[b][i] = (i % 2) ? kBar : (((b >> (i / 2)) & 1) ? kExportMark : kBlank);
    }
};

inline std::uint8_t mark(bool on) { return on ? kExportMark : kBlank; }

// Windows-1252 bytes 0x80..0x9F and the characters they stand for.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint8_t cp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] != 0 && kCp1252High[i] == c) return static_cast<std::uint8_t>(0x80 + i);
    // Some locales separate times with thin or narrow blanks the code page lacks.
    if (c == 0x2007 || c == 0x2009 || c == 0x202F) return kBlank;
    return '?';
}

// Direction marks that right-to-left locales put in their formats; they show
// nothing, so they are left out rather than written as '?'.
bool directionMark(char32_t c) {
    return c == 0x200E || c == 0x200F || c == 0x061C || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool fitsWindows1252(const QString& text) {
    for (char32_t c : text.toUcs4())
        if (c != U'?' && !directionMark(c) && cp1252(c) == '?') return false;
    return true;
}

// The locale the time column is written with: the regional one, unless its
// digits, names or AM/PM markers (Arabic-Indic or Devanagari digits, say) are
// not in the code page; then the C locale's, in the same formats.
QLocale exportLocale(const QLocale& regional) {
    const QDate d(2026, 12, 30); // a two-digit day, a Wednesday in December
    for (const QTime& t : {QTime(9, 8, 7), QTime(23, 45, 56)})
        if (!fitsWindows1252(regional.toString(d, shortDateFormat()) + regional.toString(t, longTimeFormat())))
            return QLocale::c();
    return regional;
}

// The long time format compiled for the export's hot loop: hours, minutes,
// seconds, AM/PM and literal text. It is used only when it gives exactly the
// regional text for a spread of times; any other format goes the slow way.
class FastTime {
public:
    explicit FastTime(const QLocale& loc) : loc_(loc) { usable_ = compile(longTimeFormat()) && agrees(); }
    bool usable() const { return usable_; }
    void append(QByteArray& out, int h, int m, int sec) const {
        for (const Token& t : tokens_) {
            switch (t.kind) {
            case Literal: out += t.text; break;
            case Hour24: number(out, h, t.width); break;
            case Hour: number(out, ampm_ ? (h % 12 == 0 ? 12 : h % 12) : h, t.width); break;
            case Minute: number(out, m, t.width); break;
            case Second: number(out, sec, t.width); break;
            case AmPmUpper: out += h < 12 ? amUpper_ : pmUpper_; break;
            case AmPmLower: out += h < 12 ? amLower_ : pmLower_; break;
            }
        }
    }

private:
    enum Kind { Literal, Hour24, Hour, Minute, Second, AmPmUpper, AmPmLower };
    struct Token {
        Kind kind;
        int width = 1;
        QByteArray text;
    };
    static void number(QByteArray& out, int v, int width) {
        if (width == 2 || v >= 10) out += static_cast<char>('0' + v / 10);
        out += static_cast<char>('0' + v % 10);
    }
    // Qt's time format letters this compiler knows; anything else it does not
    // understand makes it give up (the slow path then stays exact).
    bool compile(const QString& fmt) {
        const QLocale& loc = loc_;
        amUpper_ = toWindows1252(loc.amText().toUpper());
        pmUpper_ = toWindows1252(loc.pmText().toUpper());
        amLower_ = toWindows1252(loc.amText().toLower());
        pmLower_ = toWindows1252(loc.pmText().toLower());
        const qsizetype n = fmt.size();
        for (qsizetype i = 0; i < n;) {
            const QChar c = fmt[i];
            qsizetype run = 1;
            while (i + run < n && fmt[i + run] == c) ++run;
            if (c == QLatin1Char('\'')) {
                if (run >= 2) { // '' is a quote character
                    tokens_.push_back({Literal, 1, QByteArray("'")});
                    i += 2;
                    continue;
                }
                const qsizetype close = fmt.indexOf(QLatin1Char('\''), i + 1);
                if (close < 0) return false;
                tokens_.push_back({Literal, 1, toWindows1252(fmt.mid(i + 1, close - i - 1))});
                i = close + 1;
                continue;
            }
            if (c == QLatin1Char('H') || c == QLatin1Char('h') || c == QLatin1Char('m') || c == QLatin1Char('s')) {
                if (run > 2) return false;
                const Kind k = c == QLatin1Char('H') ? Hour24 : c == QLatin1Char('h') ? Hour
                             : c == QLatin1Char('m') ? Minute : Second;
                tokens_.push_back({k, static_cast<int>(run), {}});
                i += run;
                continue;
            }
            if (c == QLatin1Char('A') || c == QLatin1Char('a')) {
                const bool two = i + 1 < n && fmt[i + 1] == (c == QLatin1Char('A') ? QLatin1Char('P') : QLatin1Char('p'));
                tokens_.push_back({c == QLatin1Char('A') ? AmPmUpper : AmPmLower, 1, {}});
                ampm_ = true;
                i += two ? 2 : 1;
                continue;
            }
            if (c.isLetter()) return false;
            tokens_.push_back({Literal, 1, toWindows1252(QString(c))});
            ++i;
        }
        return true;
    }
    bool agrees() const {
        for (int h = 0; h < 24; ++h)
            for (const auto& [m, sec] : {std::pair{0, 0}, {7, 9}, {30, 5}, {59, 59}, {10, 10}}) {
                QByteArray mine;
                append(mine, h, m, sec);
                if (mine != toWindows1252(loc_.toString(QTime(h, m, sec), longTimeFormat()))) return false;
            }
        return true;
    }

    QLocale loc_;
    std::vector<Token> tokens_;
    bool usable_ = false;
    bool ampm_ = false;
    QByteArray amUpper_, pmUpper_, amLower_, pmLower_;
};

// The time column's texts, made once per distinct second (once per day for
// the date). The date and time are taken straight from the day count, as the
// recording stores local wall-clock time: no time-zone conversion is wanted,
// and going through one for every second would cost more than all the rest.
class TimeTexts {
public:
    explicit TimeTexts(const QLocale& regional = QLocale::system())
        : loc_(exportLocale(regional)), fast_(loc_) {
        // A long time format that shows milliseconds needs a text per millisecond.
        perMillisecond_ = timeText(QTime(0, 0, 0, 0)) != timeText(QTime(0, 0, 0, 123));
    }
    const QByteArray& text(double v) {
        if (!std::isfinite(v) || v < -693593.0 || v > 2958466.0) {
            text_.clear();
            valid_ = false;
            return text_;
        }
        // The same rounding as dateTimeText: to the millisecond, never past the day.
        const double whole = std::trunc(v);
        long long ms = std::llround(std::fabs(v - whole) * 86400000.0);
        if (ms >= 86400000LL) ms = 86399999LL;
        const qint64 day = static_cast<qint64>(whole);
        const long long key = perMillisecond_ ? ms : ms / 1000;
        if (valid_ && day == day_ && key == key_) return text_;
        if (!valid_ || day != day_) dateText_ = toWindows1252(loc_.toString(kEpoch.addDays(day), shortDateFormat()));
        valid_ = true;
        day_ = day;
        key_ = key;
        const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
        text_ = dateText_;
        if (t.hour() != 0 || t.minute() != 0 || t.second() != 0) {
            text_ += ' ';
            if (fast_.usable() && !perMillisecond_)
                fast_.append(text_, t.hour(), t.minute(), t.second());
            else
                text_ += toWindows1252(timeText(t));
        }
        text_.truncate(kExportTimeWidth);
        return text_;
    }

private:
    QString timeText(const QTime& t) const { return loc_.toString(t, longTimeFormat()); }

    static inline const QDate kEpoch{1899, 12, 30};
    QLocale loc_;
    FastTime fast_;
    bool perMillisecond_ = false;
    bool valid_ = false;
    qint64 day_ = 0;
    long long key_ = 0;
    QByteArray dateText_;
    QByteArray text_;
};

} // namespace

const ExportLine& exportHeaderLine1() {
    static const ExportLine l = makeHeader1();
    return l;
}

const ExportLine& exportHeaderLine2() {
    static const ExportLine l = makeHeader2();
    return l;
}

void buildExportLine(const StateRecord& s, const QByteArray& timeText, std::uint8_t* line) {
    static const ExportLine tmpl = makeDataTemplate();
    static const BeamFields beams;
    std::memcpy(line, tmpl.data(), kExportLineSize);
    std::memcpy(line + 1, timeText.constData(),
                static_cast<size_t>(std::min<qsizetype>(timeText.size(), kExportTimeWidth)));
    for (int c = 0; c < 4; ++c) {
        const std::uint8_t st = s[3 * c + 2];
        const bool standby = st & CoupleStatus::Standby;
        const bool blind = st & CoupleStatus::Blind;
        line[kAllarm + 2 * c] = mark(st & CoupleStatus::Alarm);
        line[kFailure + 2 * c] = mark(st & CoupleStatus::Failure);
        line[kStandby + 2 * c] = mark(standby && !blind);
        // Barriers 2c+1 and 2c+2 (1-based) sit at field positions 4c and 4c+2.
        line[kTamper + 4 * c] = mark(st & CoupleStatus::TamperFirst);
        line[kTamper + 4 * c + 2] = mark(st & CoupleStatus::TamperSecond);
        line[kDisqu + 4 * c] = mark(st & CoupleStatus::DisqFirst);
        line[kDisqu + 4 * c + 2] = mark(st & CoupleStatus::DisqSecond);
        // The export pairs Blind the other way round from the monitor and the
        // charts; stored exports have always looked like this.
        line[kBlind + 4 * c] = mark(blind && !standby);
        line[kBlind + 4 * c + 2] = mark(blind && standby);
        std::memcpy(line + beamField(2 * c + 1), beams.f[s[3 * c]], 15);
        std::memcpy(line + beamField(2 * c + 2), beams.f[s[3 * c + 1]], 15);
    }
}

QByteArray toWindows1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (char32_t c : text.toUcs4())
        if (!directionMark(c)) out.append(static_cast<char>(cp1252(c)));
    return out;
}

QByteArray exportTimeText(double time) { return exportTimeText(time, QLocale::system()); }

QByteArray exportTimeText(double time, const QLocale& regional) {
    TimeTexts texts(regional);
    return texts.text(time);
}

ExportResult exportRecording(const QString& datPath, const QString& outPath,
                             const AnalysisProgress& progress) {
    ExportResult r;
    RecordFile in;
    if (!in.open(datPath, &r.error)) {
        r.status = ExportStatus::CannotOpenInput;
        return r;
    }
    OutputFile out;
    if (!out.create(outPath, &in)) {
        r.status = ExportStatus::CannotCreateOutput;
        r.error = out.error();
        return r;
    }
    out.append(exportHeaderLine1().data(), kExportLineSize);
    out.append(exportHeaderLine2().data(), kExportLineSize);

    std::uint8_t type = 0;
    double time = 0;
    if (!in.readHeader(type, time)) {
        r.status = ExportStatus::TooShort;
    } else if (type != kRecordStartEnd) {
        r.status = ExportStatus::NoStartRecord;
    } else {
        ExportLine line;
        StateRecord s;
        std::uint8_t kind = 0;
        std::uint8_t block[kTcBlockSize];
        int blockLength = 0;
        TimeTexts texts;
        while (in.readHeader(type, time)) {
            if (type == kRecordSettings) {
                if (!in.readSettings(kind, block, blockLength)) break;
                continue;
            }
            if (type != kRecordState || !in.readState(s)) break;
            buildExportLine(s, texts.text(time), line.data());
            out.append(line.data(), kExportLineSize);
            ++r.lines;
            if (progress && (r.lines & 0x1FFF) == 0) progress(r.lines);
        }
    }
    if (!out.close()) {
        r.status = ExportStatus::WriteFailed;
        r.error = out.error();
    }
    if (progress) progress(r.lines);
    return r;
}

QString exportMessage(const ExportResult& r, const QString& datPath, const QString& outPath,
                      bool italian) {
    switch (r.status) {
    case ExportStatus::Done:
    case ExportStatus::NoStartRecord:
        return QString();
    case ExportStatus::TooShort:
        return italian ? QStringLiteral("Il file %1 non contiene dati (meno di 9 byte): esportati solo i titoli.").arg(datPath)
                       : QStringLiteral("The file %1 holds no data (less than 9 bytes): only the header lines were exported.").arg(datPath);
    case ExportStatus::CannotOpenInput:
        return italian ? QStringLiteral("Impossibile aprire %1: %2").arg(datPath, r.error)
                       : QStringLiteral("Cannot open %1: %2").arg(datPath, r.error);
    case ExportStatus::CannotCreateOutput:
        return italian ? QStringLiteral("Impossibile creare %1: %2").arg(outPath, r.error)
                       : QStringLiteral("Cannot create %1: %2").arg(outPath, r.error);
    case ExportStatus::WriteFailed:
        return italian ? QStringLiteral("Scrittura di %1 non riuscita: %2").arg(outPath, r.error)
                       : QStringLiteral("Writing %1 failed: %2").arg(outPath, r.error);
    }
    return QString();
}

} // namespace hub
