#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLocale>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <climits>
#include <clocale>
#include <filesystem>
#include <unistd.h>

#include "kestrane/utils.h"
#include "support/support.h"

using namespace kestrane;

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

// ---------------------------------------------------------------------------
// Time texts

TEST(TimeText, FormatsHoursMinutesSecondsAndMilliseconds) {
    struct Case {
        int ms;
        const char* hms;
        const char* hmsz;
        const char* minSec;
    };
    const Case cases[] = {
        {0, "00:00:00", "00:00:00.000", "00:00"},
        {999, "00:00:00", "00:00:00.999", "00:00"},
        {1050, "00:00:01", "00:00:01.050", "00:01"},
        {59999, "00:00:59", "00:00:59.999", "00:59"},
        {60000, "00:01:00", "00:01:00.000", "01:00"},
        {61005, "00:01:01", "00:01:01.005", "01:01"},
        {3599999, "00:59:59", "00:59:59.999", "59:59"},
        {3725000, "01:02:05", "01:02:05.000", "62:05"},
        {3725250, "01:02:05", "01:02:05.250", "62:05"},
        {360000000, "100:00:00", "100:00:00.000", "6000:00"},
        {INT_MAX, "596:31:23", "596:31:23.647", "35791:23"},
        // A negative time reads as its magnitude after a minus sign.
        {-1000, "-00:00:01", "-00:00:01.000", "-00:01"},
        {-61005, "-00:01:01", "-00:01:01.005", "-01:01"},
        {INT_MIN, "-596:31:23", "-596:31:23.648", "-35791:23"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(msToTimeText(c.ms), q(c.hms)) << c.ms;
        EXPECT_EQ(msToTimeTextMs(c.ms), q(c.hmsz)) << c.ms;
        EXPECT_EQ(msToMinSecText(c.ms), q(c.minSec)) << c.ms;
    }
}

TEST(TimeText, ParsesTheFirstFullTimeInTheText) {
    struct Case {
        const char* text;
        int ms;
    };
    const Case cases[] = {
        {"01:02:05.250", 3725250},
        {"1:02", 0},
        {"00:00:01", 0},  // no fraction, no match
        {"", 0},
        {"abc", 0},
        {"::.", 0},  // every group may be empty
        {"0:0:1.5", 1005},  // the fraction counts milliseconds as written
        {"0:0:0.2500", 2500},
        {"开始 00:01:00.000 结束", 60000},
        {"1:2:3:4.5", 7384005},  // the match that starts first: 2:3:4.5
        {"100:00:00.000", 360000000},
        {"596:31:23.647", INT_MAX},
        {"0000000000000596:31:23.647", INT_MAX},  // leading zeros are no overflow
        // Times that do not fit an int are no time either.
        {"596:31:23.648", 0},
        {"99999999999999999999:0:0.0", 0},
        {"0:0:0.99999999999", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(timeTextToMs(q(c.text)), c.ms) << c.text;
}

TEST(TimeText, MillisecondTextReadsBack) {
    for (int ms : {0, 1, 999, 61005, 3725250, 360000000, INT_MAX})
        EXPECT_EQ(timeTextToMs(msToTimeTextMs(ms)), ms) << ms;
}

// ---------------------------------------------------------------------------
// Size text

TEST(SizeText, UnitsAndTwoDecimals) {
    struct Case {
        qint64 bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, "0B"},
        {1023, "1023B"},
        {1024, "1.00K"},
        {1536, "1.50K"},
        {1048575, "1024.00K"},  // rounded in the last unit below the next
        {1048576, "1.00M"},
        {5 * 1048576 + 524288, "5.50M"},
        {1073741824, "1.00G"},
        {qint64(5) << 40, "5120.00G"},
    };
    for (const Case& c : cases) EXPECT_EQ(sizeToText(c.bytes), q(c.text)) << c.bytes;
}

TEST(SizeText, DecimalPointWhateverTheLocale) {
    const std::string comma = testsupport::FindCommaDecimalLocale();
    if (!comma.empty()) std::setlocale(LC_NUMERIC, comma.c_str());
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(sizeToText(1536), q("1.50K"));
    EXPECT_EQ(sizeToText(3 * 1048576 + 262144), q("3.25M"));
    QLocale::setDefault(saved);
    std::setlocale(LC_NUMERIC, "C");
}

// ---------------------------------------------------------------------------
// Folder listing

class CollectFilesTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    QString root() const { return QString::fromStdString(dir.str()); }
    QString make(const QString& relative, const char* content = "x") {
        const QString path = root() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        testsupport::WriteFile(path.toStdString(), content);
        return path;
    }
};

TEST_F(CollectFilesTest, FilesOfEveryLevelAndNoFolders) {
    const QStringList want = {
        make(q("a.PNG")),
        make(q("b.png")),
        make(q("视频.MP4")),
        make(q("子目录/c.Jpg")),
        make(q("子目录/更深/d.txt")),
        make(q("z/e.bmp")),
    };
    QDir().mkpath(root() + q("/空"));
    make(q(".hidden.png"));  // the default listing leaves hidden entries out
    QStringList got = collectFiles(root());
    for (const QString& path : got) {
        EXPECT_TRUE(QFileInfo(path).isAbsolute()) << path.toStdString();
        EXPECT_TRUE(QFileInfo(path).isFile()) << path.toStdString();
    }
    QStringList sortedWant = want;
    sortedWant.sort();
    got.sort();
    EXPECT_EQ(got, sortedWant);
}

TEST_F(CollectFilesTest, ASubFolderListFollowsItsPlace) {
    const QString a = make(q("a.png"));
    const QString inner = make(q("m/inner.png"));
    const QString z = make(q("z.png"));
    // Name order of the listing: a.png, m/, z.png.
    EXPECT_EQ(collectFiles(root()), (QStringList{a, inner, z}));
}

TEST_F(CollectFilesTest, MissingFolderOrAFileGivesNothing) {
    EXPECT_TRUE(collectFiles(root() + q("/没有")).isEmpty());
    EXPECT_TRUE(collectFiles(QString()).isEmpty());
    EXPECT_TRUE(collectFiles(make(q("f.png"))).isEmpty());
}

TEST_F(CollectFilesTest, LinkedFoldersAreWalkedOnce) {
    const QString file = make(q("sub/p.png"));
    std::filesystem::create_directory_symlink("..", dir / "sub" / "up");
    std::filesystem::create_directory_symlink(dir / "sub", dir / "again");
    // The loop back up would never end, and the second way into "sub"
    // would list its picture twice.
    const QStringList got = collectFiles(root());
    EXPECT_EQ(got.size(), 1);
    EXPECT_EQ(QFileInfo(got.value(0)).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
}

TEST_F(CollectFilesTest, UnreadableFilesAreLeftOut) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const QString readable = make(q("r.png"));
    const QString locked = make(q("l.png"));
    QFile::setPermissions(locked, QFileDevice::Permissions());
    EXPECT_EQ(collectFiles(root()), QStringList{readable});
}

// ---------------------------------------------------------------------------
// Random number

TEST(RandomInRange, EmptyAndSingleRanges) {
    EXPECT_EQ(randomInRange(5, 5, 0), 5);
    EXPECT_EQ(randomInRange(6, 5, 0), 0);
    EXPECT_EQ(randomInRange(-3, -3, 7), -3);
    EXPECT_EQ(randomInRange(INT_MAX, INT_MIN, 0), 0);
    for (qint64 seed : {qint64(0), qint64(1), qint64(3000000000LL)}) EXPECT_EQ(randomInRange(9, 10, seed), 9);
}

TEST(RandomInRange, StaysInsideTheHalfOpenRange) {
    struct Range {
        int minimum;
        int maximum;
    };
    const Range ranges[] = {
        {0, 2}, {-10, 10}, {100000, 100007}, {0, 32767}, {0, 32768}, {-5, 100000}, {INT_MIN, INT_MAX}, {INT_MAX - 3, INT_MAX},
    };
    const qint64 seeds[] = {0, 1, 17, 1999999999, 2000000001, 9876543210LL, -42};
    for (const Range& r : ranges)
        for (qint64 seed : seeds)
            for (int i = 0; i < 20; ++i) {
                const int v = randomInRange(r.minimum, r.maximum, seed + i);
                EXPECT_GE(v, r.minimum) << r.minimum << ".." << r.maximum << " seed " << seed;
                EXPECT_LT(v, r.maximum) << r.minimum << ".." << r.maximum << " seed " << seed;
            }
}

TEST(RandomInRange, SeedsGiveDifferentNumbers) {
    // Within one millisecond the seed alone picks the number: many seeds
    // give many numbers.
    QSet<int> seen;
    for (int seed = 1; seed <= 50; ++seed) seen.insert(randomInRange(0, 1000, seed));
    EXPECT_GT(seen.size(), 10);
}

// ---------------------------------------------------------------------------
// Shipped data files

TEST(DataFilePath, BesideTheProgramThenTheInstalledPrefix) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString bin = root.path() + QStringLiteral("/bin");
    const QString share = root.path() + QStringLiteral("/share/kestrane");
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(share));
    auto touch = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
    };
    const QString name = QStringLiteral("kestrane-test-data.jpg");

    // Nowhere: the path beside the program, so that a message can name it.
    EXPECT_EQ(dataFilePathFrom(bin, name), bin + QLatin1Char('/') + name);
    // An installed layout: <prefix>/bin/program and <prefix>/share/kestrane.
    ASSERT_TRUE(touch(share + QLatin1Char('/') + name));
    EXPECT_EQ(dataFilePathFrom(bin, name), share + QLatin1Char('/') + name);
    // A build tree keeps its files beside the program, and they win.
    ASSERT_TRUE(touch(bin + QLatin1Char('/') + name));
    EXPECT_EQ(dataFilePathFrom(bin, name), bin + QLatin1Char('/') + name);
    // A folder of that name is not the file.
    const QString folderName = QStringLiteral("kestrane-test-folder");
    ASSERT_TRUE(QDir().mkpath(bin + QLatin1Char('/') + folderName));
    ASSERT_TRUE(touch(share + QLatin1Char('/') + folderName));
    EXPECT_EQ(dataFilePathFrom(bin, folderName), share + QLatin1Char('/') + folderName);
}
