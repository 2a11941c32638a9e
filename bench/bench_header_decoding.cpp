// Time to pick the fields out of header blocks, for a typical Japanese header
// and for hostile ones (a very long value full of words, a field folded into
// thousands of lines), to show that the cost grows with the size only.
//
//   bench_header_decoding [repetitions] [largest hostile value in bytes]
//
// Prints one line per case: its size, microseconds per header block. The
// hostile values at the end (words that never close, a Date of blanks) are
// read once each, with the peak resident memory above what the process held
// before.

#include "mail/HeaderDecoder.h"
#include "mail/HeaderFields.h"

#include <QElapsedTimer>
#include <QString>

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

namespace {

const QString kTypical
    = QStringLiteral("Return-Path: <taro@example.jp>\r\n"
                     "Received: from mail.example.jp (mail.example.jp [192.0.2.1])\r\n"
                     "\tby pop.example.jp with ESMTP id 12345; Mon, 7 Dec 2026 19:47:44 +0900\r\n"
                     "From: =?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?= <taro@example.jp>\r\n"
                     "To: hanako@example.jp\r\n"
                     "Subject: =?ISO-2022-JP?B?GyRCTWg9NSRORGpOYzJxNUQbKEI=?=\r\n"
                     " =?ISO-2022-JP?B?GyRCJE5GfER4SlE5OSRLGyhC?=\r\n"
                     "\t=?ISO-2022-JP?B?GyRCJEQkJCRGJE4kKkNOJGkkOxsoQg==?=\r\n"
                     "Date: Mon, 7 Dec 2026 19:47:44 +0900\r\n"
                     "Message-ID: <20261207194744.12345@example.jp>\r\n"
                     "MIME-Version: 1.0\r\n"
                     "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                     "\r\n");

void report(const char* name, const QString& text, int repetitions)
{
    const QByteArray header = text.toLatin1();
    QElapsedTimer timer;
    timer.start();
    qsizetype sink = 0;
    for (int i = 0; i < repetitions; ++i)
        sink += ExtractHeaderFields(header).strSubject.size();
    const double micros = double(timer.nsecsElapsed()) / 1000.0 / repetitions;
    std::printf("%-44s %8lld chars %12.1f us per block (%lld)\n", name, static_cast<long long>(header.size()),
        micros, static_cast<long long>(sink % 10));
}

QString manyWordsOnOneLine(int words, const QString& word)
{
    QString subject = QStringLiteral("Subject: ");
    for (int i = 0; i < words; ++i)
        subject += word + u' ';
    return subject + QStringLiteral("\r\n\r\n");
}

QString foldedIntoLines(int lines, const QString& word)
{
    QString subject = QStringLiteral("Subject: ") + word;
    for (int i = 1; i < lines; ++i)
        subject += QStringLiteral("\r\n ") + word;
    return subject + QStringLiteral("\r\n\r\n");
}

// Resident memory in KB from /proc/self/status ("VmRSS" now, "VmHWM" peak).
long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Lets VmHWM start again from the present resident size.
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// CPU time of this process in ms: on a busy machine it says more than the clock.
double cpuMillis()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QString repeatedTo(const QString& piece, qsizetype bytes)
{
    QString value;
    value.reserve(bytes + piece.size());
    while (value.size() < bytes)
        value += piece;
    return value;
}

void reportHostile(const char* name, const QString& text)
{
    const QByteArray header = text.toLatin1();
    resetPeak();
    const long baseline = statusKb("VmRSS");
    const double cpuStart = cpuMillis();
    qsizetype shown = -1;
    try {
        const NewMailItem fields = ExtractHeaderFields(header);
        shown = fields.strSubject.size() + fields.strDate.size();
    } catch (const std::bad_alloc&) {
        std::printf("%-44s %8lld bytes  out of memory after %.1f ms CPU\n", name,
            static_cast<long long>(header.size()), cpuMillis() - cpuStart);
        std::fflush(stdout);
        return;
    }
    const double millis = cpuMillis() - cpuStart;
    const long peak = statusKb("VmHWM");
    std::printf("%-44s %8lld bytes %10.2f ms CPU %8.1f MB above baseline, %lld characters shown\n", name,
        static_cast<long long>(header.size()), millis, double(peak - baseline) / 1024.0,
        static_cast<long long>(shown));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const QString jisWord = QStringLiteral("=?ISO-2022-JP?B?GyRCJEQkJCRGJE4kKkNOJGkkOxsoQg==?=");
    const QString utf8Word = QStringLiteral("=?UTF-8?B?44GT44KT44Gr44Gh44Gv5LiW55WM?=");

    report("typical Japanese header", kTypical, repetitions * 50);
    for (int words : { 1000, 4000 }) {
        const int reps = std::max(1, repetitions / (words / 250));
        std::printf("-- %d words\n", words);
        report("  ISO-2022-JP words on one line", manyWordsOnOneLine(words, jisWord), reps);
        report("  UTF-8 words on one line", manyWordsOnOneLine(words, utf8Word), reps);
        report("  ISO-2022-JP words, one per folded line", foldedIntoLines(words, jisWord), reps);
        report("  UTF-8 words, one per folded line (joined)", foldedIntoLines(words, utf8Word), reps);
        report("  unterminated prefixes", manyWordsOnOneLine(words, QStringLiteral("=?UTF-8?B?abc")), reps);
    }

    const qsizetype largest = argc > 2 ? std::atoll(argv[2]) : 1024 * 1024;
    std::printf("-- hostile values, one read each\n");
    for (qsizetype size = 10 * 1024; size <= largest; size *= 10) {
        const QString crafted = repeatedTo(QStringLiteral("=?ISO-2022-JP?B?GyRC "), size);
        reportHostile("  prefixes closed once at the end",
            QStringLiteral("Subject: ") + crafted + QStringLiteral("?=\r\n\r\n"));
        reportHostile("  prefixes never closed",
            QStringLiteral("Subject: ") + repeatedTo(QStringLiteral("=?ISO-2022-JP?B?QUFB"), size)
                + QStringLiteral("\r\n\r\n"));
        reportHostile("  Date of blanks without a comma",
            QStringLiteral("Date: Tue") + QString(size, u' ') + QStringLiteral("\r\n\r\n"));
    }
    return 0;
}
