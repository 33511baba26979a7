// The upload receiver driven with crafted heads and bodies on a core over a
// temp base folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "CommandFixture.h"
#include "lintra/filekit.h"
#include "platform/ini.h"
#include "util/LogCapture.h"

namespace {

namespace fs = std::filesystem;

std::string Content(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

class FileUploadTest : public CommandFixture {
protected:
    void SetUp() override {
        CommandFixture::SetUp();
        media = dir / "media";
        core->m_strMediaFolder = media.string();
    }

    // The identity of content, as the console computes it.
    std::string IdentityOf(const std::string& content) {
        const fs::path p = dir / "identity.tmp";
        testsupport::WriteFile(p, content);
        std::string id;
        EXPECT_TRUE(LINTRA_FILEKIT::GetMD5FromFile(p.string().c_str(), id));
        fs::remove(p);
        return id;
    }
    static void SetIdentity(tagNETHEAD& h, size_t at, const std::string& id) {
        char text[33] = {};
        std::memcpy(text, id.data(), std::min(id.size(), sizeof text - 1));
        std::memcpy(reinterpret_cast<uint8_t*>(&h) + at, text, sizeof text);
    }
    static tagNETHEAD UploadHead(uint32_t code, const std::string& name, const std::string& id, int64_t size) {
        tagNETHEAD h = Head(code);
        SetIdentity(h, 4, id);
        lintra::SetInt64Param(h, 0, size);
        SetText(h, name);
        return h;
    }

    CommandReply Check(const std::string& name, const std::string& id, int64_t size) {
        return Send(UploadHead(1201, name, id, size));
    }
    CommandReply Prepare(const std::string& name, const std::string& id, int64_t size, int64_t offset = 0) {
        tagNETHEAD h = UploadHead(1202, name, id, size);
        lintra::SetInt64Param(h, 5, offset);
        return Send(h);
    }
    // A chunk; tag is the identity at +84 (empty: untagged), length the
    // announced chunk length (default: the body's).
    CommandReply Chunk(const std::string& name, int64_t offset, const std::string& bytes, const std::string& tag = {},
                       std::optional<int32_t> length = std::nullopt) {
        tagNETHEAD h = Head(1203, {length.value_or(static_cast<int32_t>(bytes.size()))});
        lintra::SetInt64Param(h, 0, offset);
        if (!tag.empty()) SetIdentity(h, 84, tag);
        SetText(h, name);
        h.bodyLength = static_cast<uint32_t>(bytes.size());
        return Send(h, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    CommandReply Finish(const std::string& name, const std::string& id, int64_t size) {
        return Send(UploadHead(1204, name, id, size));
    }

    // A whole upload in chunks of chunkSize, tagged with its identity.
    void UploadAll(const std::string& name, const std::string& content, size_t chunkSize) {
        const std::string id = IdentityOf(content);
        const int64_t size = static_cast<int64_t>(content.size());
        ASSERT_EQ(Check(name, id, size).Int(4), 2);
        ASSERT_EQ(Prepare(name, id, size).Int(4), 1);
        for (size_t at = 0; at < content.size(); at += chunkSize)
            ASSERT_EQ(Chunk(name, static_cast<int64_t>(at), content.substr(at, chunkSize), id).Int(4), 1) << at;
        ASSERT_EQ(Finish(name, id, size).Int(4), 1);
    }

    std::string Held(const std::string& name) { return testsupport::ReadFile(media / name); }
    fs::path Side(const std::string& name) { return media / (name + ".dncfg"); }
    static std::string SideText(const std::string& md5, const std::string& size) {
        return "[FileStatus]\nMD5=" + md5 + "\nFileSize=" + size + "\n";
    }
    // The side file and the partial target of an upload that was cut off.
    void Interrupted(const std::string& name, const std::string& content, size_t held, const std::string& sideMd5) {
        fs::create_directories(media);
        testsupport::WriteFile(media / name, content.substr(0, held));
        testsupport::WriteFile(Side(name), SideText(sideMd5, std::to_string(content.size())));
    }

    fs::path media;
};

TEST_F(FileUploadTest, WholeUploadLandsInTheMediaFolderAndEndsItsStatus) {
    const std::string content = Content(100000, 1);
    UploadAll("clip.mp4", content, 30000);
    EXPECT_EQ(Held("clip.mp4"), content);
    EXPECT_FALSE(fs::exists(Side("clip.mp4")));
    // Nothing but the file itself is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(media), fs::directory_iterator()), 1);
}

TEST_F(FileUploadTest, CompleteIdenticalFileIsHeldWholeAndItsStatusUntouched) {
    const std::string content = Content(5000, 2);
    const std::string id = IdentityOf(content);
    UploadAll("a.bin", content, 4096);
    const std::string stale = SideText(IdentityOf("other"), "7");
    testsupport::WriteFile(Side("a.bin"), stale);

    const CommandReply r = Check("a.bin", id, 5000);
    EXPECT_EQ(r.Int(4), 1000);
    EXPECT_EQ(testsupport::ReadFile(Side("a.bin")), stale);
}

// What the check answers for the state an earlier upload left behind.
TEST_F(FileUploadTest, CheckAnswersByTheStateLeftBehind) {
    const std::string content = Content(10000, 3);
    const std::string id = IdentityOf(content);
    const std::string other = IdentityOf("another file of the same name");
    struct Case {
        const char* what;
        std::optional<size_t> held;   // bytes of the target, none: no target
        std::optional<std::string> side;
        int32_t status;
        int64_t offset;
    } cases[] = {
        {"nothing there", std::nullopt, std::nullopt, 2, 0},
        {"interrupted upload of this file", 4096, SideText(id, "10000"), 1, 4096},
        {"prepared but nothing written", 0, SideText(id, "10000"), 1, 0},
        {"prepared, target removed", std::nullopt, SideText(id, "10000"), 1, 0},
        {"another file was being uploaded", 4096, SideText(other, "10000"), 2, 0},
        {"same identity, other size announced", 4096, SideText(id, "20000"), 2, 0},
        {"partial file but no status", 4096, std::nullopt, 2, 0},
        // A target as long as the file yet not identical cannot be finished.
        {"full length but damaged", 10000, SideText(id, "10000"), 2, 0},
        {"longer than announced", 12000, SideText(id, "10000"), 2, 0},
        {"status with a short identity", 4096, SideText(id.substr(0, 31), "10000"), 2, 0},
        {"status with a non-hex identity", 4096, SideText(std::string(32, 'G'), "10000"), 2, 0},
        {"status with a negative size", 4096, SideText(id, "-1"), 2, 0},
        {"status with junk after the size", 4096, SideText(id, "10000x"), 2, 0},
        {"status with a size out of range", 4096, SideText(id, "99999999999999999999999"), 2, 0},
        {"empty status", 4096, std::string(), 2, 0},
        {"binary status", 4096, std::string("\0\xff[FileStatus\n\x01MD5", 17), 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(media);
        fs::create_directories(media);
        std::string damaged = content;
        damaged[9500] ^= 0x55;  // inside the last identity sample
        if (c.held) testsupport::WriteFile(media / "c.bin", (*c.held >= 10000 ? damaged : content)
                                                                 .substr(0, std::min<size_t>(*c.held, 10000)) +
                                                             std::string(*c.held > 10000 ? *c.held - 10000 : 0, 'x'));
        if (c.side) testsupport::WriteFile(Side("c.bin"), *c.side);
        const CommandReply r = Check("c.bin", id, 10000);
        EXPECT_EQ(r.Int(4), c.status);
        EXPECT_EQ(lintra::GetInt64Param(r.head, 0), c.offset);
    }
}

TEST_F(FileUploadTest, StatusFileThatIsAFolderCountsAsNone) {
    const std::string content = Content(3000, 4);
    const std::string id = IdentityOf(content);
    fs::create_directories(Side("d.bin"));
    EXPECT_EQ(Check("d.bin", id, 3000).Int(4), 2);
    // Nor can it be replaced: the prepare says so.
    EXPECT_EQ(Prepare("d.bin", id, 3000).Int(4), 0);
    EXPECT_EQ(Chunk("d.bin", 0, content, id).Int(4), 0);
}

TEST_F(FileUploadTest, PrepareWritesTheStatusWhole) {
    const std::string id = IdentityOf(Content(4000, 5));
    ASSERT_EQ(Prepare("p.bin", id, 4000).Int(4), 1);
    const std::string side = Side("p.bin").string();
    EXPECT_EQ(platform::GetPrivateProfileString("FileStatus", "MD5", std::string(), side), id);
    EXPECT_EQ(platform::GetPrivateProfileString("FileStatus", "FileSize", std::string(), side), "4000");
    EXPECT_TRUE(fs::exists(media / "p.bin"));
    EXPECT_EQ(fs::file_size(media / "p.bin"), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(media), fs::directory_iterator()), 2) << "no temp file left";
}

TEST_F(FileUploadTest, PrepareWithAResumeOffsetKeepsThePartialFile) {
    const std::string content = Content(10000, 6);
    const std::string id = IdentityOf(content);
    Interrupted("r.bin", content, 4096, id);
    ASSERT_EQ(Prepare("r.bin", id, 10000, 4096).Int(4), 1);
    EXPECT_EQ(Held("r.bin"), content.substr(0, 4096));
    ASSERT_EQ(Chunk("r.bin", 4096, content.substr(4096), id).Int(4), 1);
    EXPECT_EQ(Held("r.bin"), content);
}

TEST_F(FileUploadTest, PrepareResumesOnlyTheSameUpload) {
    const std::string content = Content(10000, 7);
    const std::string id = IdentityOf(content);
    const std::string other = IdentityOf("other");
    struct Case {
        const char* what;
        std::string sideMd5;
        int64_t offset;
        std::string expected;   // the target after the prepare
    } cases[] = {
        {"offset inside the partial file: the tail goes again", id, 1000, content.substr(0, 1000)},
        {"offset at the partial file's end", id, 4096, content.substr(0, 4096)},
        {"offset past the partial file: anew", id, 5000, ""},
        {"status of another file: anew", other, 4096, ""},
        // The same upload from its start: another console may be sending it
        // at the same time, so what has come stays (its chunks rewrite it).
        {"offset 0 of the same upload: shared", id, 0, content.substr(0, 4096)},
        {"negative offset: anew", id, -4096, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Interrupted("q.bin", content, 4096, c.sideMd5);
        EXPECT_EQ(Prepare("q.bin", id, 10000, c.offset).Int(4), 1);
        EXPECT_EQ(Held("q.bin"), c.expected);
        EXPECT_EQ(platform::GetPrivateProfileString("FileStatus", "MD5", std::string(), Side("q.bin").string()), id);
    }
}

TEST_F(FileUploadTest, WireNamesStayInTheMediaFolder) {
    const std::string content = Content(1000, 8);
    const std::string id = IdentityOf(content);
    struct Case {
        const char* wire;
        const char* lands;
    } cases[] = {
        {"D:\\show\\media\\clip.mp4", "clip.mp4"},
        {"../../etc/x.bin", "x.bin"},
        {"..\\..\\y.bin", "y.bin"},
        {"\xd6\xd0\xce\xc4.bin", "\xe4\xb8\xad\xe6\x96\x87.bin"},  // GBK on the wire, UTF-8 on disk
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wire);
        UploadAll(c.wire, content, 1000);
        EXPECT_EQ(Held(c.lands), content);
    }
    EXPECT_FALSE(fs::exists(dir / "x.bin"));
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "x.bin"));
}

TEST_F(FileUploadTest, UnsafeNamesAreRefusedAtEveryStep) {
    const std::string content = Content(1000, 9);
    const std::string id = IdentityOf(content);
    util::LogCapture log;
    for (const char* wire : {"", ".", "..", "a\\..", "a/.", "folder\\", "clip.mp4.dncfg"}) {
        SCOPED_TRACE(wire);
        EXPECT_EQ(Check(wire, id, 1000).Int(4), 0);
        EXPECT_EQ(Prepare(wire, id, 1000).Int(4), 0);
        EXPECT_EQ(Chunk(wire, 0, content, id).Int(4), 0);
        EXPECT_EQ(Finish(wire, id, 1000).Int(4), 0);
    }
    EXPECT_FALSE(fs::exists(media) && !fs::is_empty(media));
    EXPECT_TRUE(log.Contains("file name refused"));
}

TEST_F(FileUploadTest, BadIdentityOrSizeIsRefused) {
    const std::string id = IdentityOf("x");
    for (const std::string& bad : {std::string(), id.substr(1), std::string(32, 'z'), id + "\nMD5=0"}) {
        SCOPED_TRACE(bad);
        tagNETHEAD h = UploadHead(1202, "b.bin", {}, 10);
        // Up to 40 bytes of text, without the 33-byte cut of the helper.
        char area[40] = {};
        std::memcpy(area, bad.data(), std::min(bad.size(), sizeof area));
        std::memcpy(reinterpret_cast<uint8_t*>(&h) + 4, area, sizeof area);
        EXPECT_EQ(Send(h).Int(4), 0);
        h.command = 1201;
        EXPECT_EQ(Send(h).Int(4), 0);
    }
    EXPECT_EQ(Prepare("b.bin", id, -1).Int(4), 0);
    EXPECT_FALSE(fs::exists(Side("b.bin")));
}

TEST_F(FileUploadTest, ChunksStayInsideTheAnnouncedFile) {
    const std::string content = Content(10000, 10);
    const std::string id = IdentityOf(content);
    ASSERT_EQ(Prepare("k.bin", id, 10000).Int(4), 1);
    ASSERT_EQ(Chunk("k.bin", 0, content.substr(0, 4000), id).Int(4), 1);
    struct Case {
        const char* what;
        int64_t offset;
        std::string body;
        std::optional<int32_t> length;
    } refused[] = {
        {"empty chunk", 4000, "", std::nullopt},
        {"negative length", 4000, content.substr(4000, 10), -10},
        {"length beyond the body", 4000, content.substr(4000, 10), 11},
        {"huge length, small body", 4000, content.substr(4000, 10), INT_MAX},
        {"negative offset", -1, content.substr(0, 10), std::nullopt},
        {"ends past the announced size", 9000, std::string(1001, 'x'), std::nullopt},
        {"starts past the announced size", 10001, "x", std::nullopt},
        {"offset that overflows with the length", INT64_MAX - 5, std::string(10, 'x'), std::nullopt},
        {"starts past the end of the file: a hole", 4001, content.substr(4001, 10), std::nullopt},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Chunk("k.bin", c.offset, c.body, id, c.length).Int(4), 0);
        EXPECT_EQ(Held("k.bin"), content.substr(0, 4000));
    }
    // A resend of a chunk already held, and the last chunk up to the size.
    EXPECT_EQ(Chunk("k.bin", 2000, content.substr(2000, 2000), id).Int(4), 1);
    EXPECT_EQ(Chunk("k.bin", 4000, content.substr(4000), id).Int(4), 1);
    EXPECT_EQ(Held("k.bin"), content);
}

TEST_F(FileUploadTest, ChunkWithoutAPreparedUploadIsRefused) {
    fs::create_directories(media);
    EXPECT_EQ(Chunk("n.bin", 0, "data").Int(4), 0);
    EXPECT_FALSE(fs::exists(media / "n.bin"));
    // After the end, a late chunk cannot change the finished file.
    const std::string content = Content(3000, 11);
    UploadAll("n.bin", content, 3000);
    EXPECT_EQ(Chunk("n.bin", 0, "late").Int(4), 0);
    EXPECT_EQ(Held("n.bin"), content);
}

TEST_F(FileUploadTest, UntaggedChunksBelongToTheUploadInProgress) {
    const std::string content = Content(6000, 12);
    const std::string id = IdentityOf(content);
    ASSERT_EQ(Prepare("u.bin", id, 6000).Int(4), 1);
    EXPECT_EQ(Chunk("u.bin", 0, content.substr(0, 3000)).Int(4), 1);
    EXPECT_EQ(Chunk("u.bin", 3000, content.substr(3000)).Int(4), 1);
    EXPECT_EQ(Finish("u.bin", id, 6000).Int(4), 1);
    EXPECT_EQ(Held("u.bin"), content);
}

// Two consoles upload different files of one name: the newer prepare takes
// the name, the older upload's chunks and end are refused, nothing mixes.
TEST_F(FileUploadTest, NewerUploadOfTheSameNameWinsWithoutMixing) {
    const std::string a = Content(8000, 13), b = Content(9000, 14);
    const std::string idA = IdentityOf(a), idB = IdentityOf(b);
    ASSERT_EQ(Check("s.bin", idA, 8000).Int(4), 2);
    ASSERT_EQ(Prepare("s.bin", idA, 8000).Int(4), 1);
    ASSERT_EQ(Chunk("s.bin", 0, a.substr(0, 4000), idA).Int(4), 1);

    ASSERT_EQ(Check("s.bin", idB, 9000).Int(4), 2) << "A's partial file is not B's";
    ASSERT_EQ(Prepare("s.bin", idB, 9000).Int(4), 1);
    ASSERT_EQ(Chunk("s.bin", 0, b.substr(0, 4000), idB).Int(4), 1);

    EXPECT_EQ(Chunk("s.bin", 4000, a.substr(4000), idA).Int(4), 0);
    EXPECT_EQ(Chunk("s.bin", 0, a.substr(0, 4000), idA).Int(4), 0);
    EXPECT_EQ(Finish("s.bin", idA, 8000).Int(4), 0);
    EXPECT_TRUE(fs::exists(Side("s.bin"))) << "A's end must not end B's upload";

    ASSERT_EQ(Chunk("s.bin", 4000, b.substr(4000), idB).Int(4), 1);
    ASSERT_EQ(Finish("s.bin", idB, 9000).Int(4), 1);
    EXPECT_EQ(Held("s.bin"), b);
    EXPECT_EQ(Check("s.bin", idB, 9000).Int(4), 1000);
    EXPECT_EQ(Check("s.bin", idA, 8000).Int(4), 2);
}

// Ten consoles send the same file at once, each at its own pace: every one
// of them succeeds, and the file ends whole with no upload left open.
TEST_F(FileUploadTest, IdenticalUploadsAtOnceShareTheFileAndAllSucceed) {
    constexpr int kConsoles = 10;
    constexpr size_t kChunk = 1000;
    const std::string content = Content(9500, 21);
    const std::string id = IdentityOf(content);
    const int64_t size = static_cast<int64_t>(content.size());
    for (int c = 0; c < kConsoles; ++c) ASSERT_EQ(Check("same.mp4", id, size).Int(4), 2) << c;
    std::vector<size_t> next(kConsoles, 0);
    std::vector<bool> prepared(kConsoles, false), finished(kConsoles, false);
    // Console c prepares after c rounds; each round every prepared console
    // sends c % 3 + 1 chunks (the first runs ahead and finishes first).
    for (int round = 0; std::count(finished.begin(), finished.end(), true) < kConsoles; ++round) {
        ASSERT_LT(round, 100);
        for (int c = 0; c < kConsoles; ++c) {
            if (finished[c]) continue;
            if (!prepared[c]) {
                if (round < c) continue;
                ASSERT_EQ(Prepare("same.mp4", id, size).Int(4), 1) << c;
                prepared[c] = true;
            }
            for (int k = 0; k < (c == 0 ? 10 : c % 3 + 1) && next[c] < content.size(); ++k) {
                ASSERT_EQ(Chunk("same.mp4", static_cast<int64_t>(next[c]), content.substr(next[c], kChunk), id).Int(4),
                          1)
                    << "console " << c << " at " << next[c];
                next[c] += kChunk;
            }
            if (next[c] >= content.size()) {
                ASSERT_EQ(Finish("same.mp4", id, size).Int(4), 1) << c;
                finished[c] = true;
            }
        }
    }
    EXPECT_EQ(Held("same.mp4"), content);
    EXPECT_FALSE(fs::exists(Side("same.mp4")));
    EXPECT_EQ(Check("same.mp4", id, size).Int(4), 1000);
    // Another file under the name afterwards is not taken for the finished one.
    const std::string other = Content(3000, 22);
    const std::string otherId = IdentityOf(other);
    EXPECT_EQ(Chunk("same.mp4", 0, other.substr(0, 1000), otherId).Int(4), 0);
    EXPECT_EQ(Finish("same.mp4", otherId, 3000).Int(4), 0);
    UploadAll("same.mp4", other, 1000);
    EXPECT_EQ(Held("same.mp4"), other);
}

// A file whose upload was cut is no media to offer until it has come whole.
TEST_F(FileUploadTest, FilesStillBeingUploadedAreLeftOutOfTheLists) {
    const std::string video = Content(5000, 23), picture = Content(4000, 24);
    Interrupted("cut.mp4", video, 2048, IdentityOf(video));
    Interrupted("cut.png", picture, 100, IdentityOf(picture));
    testsupport::WriteFile(media / "whole.mp4", "v");
    testsupport::WriteFile(media / "whole.png", "p");
    // A side file alone, or one beside a name of another kind, hides nothing else.
    testsupport::WriteFile(media / "lone.mp4.dncfg", SideText(IdentityOf("x"), "1"));
    core->m_strMediaVideoExtension = "*.mp4";
    ASSERT_TRUE(core->RefreshMediaFileLists(media.string()));
    EXPECT_EQ(core->VideoFiles(), std::vector<std::string>{(media / "whole.mp4").string()});
    EXPECT_EQ(core->ImageFiles(), std::vector<std::string>{(media / "whole.png").string()});

    const std::string id = IdentityOf(video);
    ASSERT_EQ(Prepare("cut.mp4", id, 5000, 2048).Int(4), 1);
    ASSERT_EQ(Chunk("cut.mp4", 2048, video.substr(2048), id).Int(4), 1);
    ASSERT_EQ(Finish("cut.mp4", id, 5000).Int(4), 1);
    ASSERT_TRUE(core->RefreshMediaFileLists(media.string()));
    EXPECT_EQ(core->VideoFiles(),
              (std::vector<std::string>{(media / "cut.mp4").string(), (media / "whole.mp4").string()}));
}

TEST_F(FileUploadTest, EndOfAnIncompleteFileKeepsItsStatusForAResume) {
    const std::string content = Content(7000, 15);
    const std::string id = IdentityOf(content);
    ASSERT_EQ(Prepare("e.bin", id, 7000).Int(4), 1);
    ASSERT_EQ(Chunk("e.bin", 0, content.substr(0, 5000), id).Int(4), 1);
    EXPECT_EQ(Finish("e.bin", id, 7000).Int(4), 0);
    const CommandReply r = Check("e.bin", id, 7000);
    EXPECT_EQ(r.Int(4), 1);
    EXPECT_EQ(lintra::GetInt64Param(r.head, 0), 5000);
}

TEST_F(FileUploadTest, TargetThatCannotBeWrittenFailsTheChunk) {
    const std::string content = Content(2000, 16);
    const std::string id = IdentityOf(content);
    fs::create_directories(media / "t.bin" / "inside");
    util::LogCapture log;
    EXPECT_EQ(Prepare("t.bin", id, 2000).Int(4), 0) << "a folder in the way cannot be started anew";
    EXPECT_TRUE(log.Contains("create file failed.for prepare file upload. e="));
    EXPECT_FALSE(fs::exists(Side("t.bin")));
    // Even with a status in place, the chunk cannot open a folder for writing.
    testsupport::WriteFile(Side("t.bin"), SideText(id, "2000"));
    EXPECT_EQ(Chunk("t.bin", 0, content, id).Int(4), 0);
    EXPECT_TRUE(log.Contains("create file failed. path=" + (media / "t.bin").string() + ".for upload command. e="));
}

TEST_F(FileUploadTest, ShortWriteIsReportedAsFailure) {
    const std::string content = Content(16384, 17);
    const std::string id = IdentityOf(content);
    ASSERT_EQ(Prepare("w.bin", id, 16384).Int(4), 1);
    // Files of this process may grow to 8 KiB only: the write stops short.
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int32_t result = Chunk("w.bin", 0, content, id).Int(4);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_EQ(result, 0);
    // The next check resumes after what did arrive.
    const CommandReply r = Check("w.bin", id, 16384);
    EXPECT_EQ(r.Int(4), 1);
    EXPECT_EQ(lintra::GetInt64Param(r.head, 0), 8192);
}

}  // namespace
