// Writes the binary seeds of the fuzz targets with the programs' own
// writers, so that the seeds follow the file and wire formats as they are:
//   sv_fuzz_seeds <folder>   makes <folder>/<target>/<seed> for each target.
// The text seeds are checked in under fuzz/corpus/.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CoreOnFakes.h"
#include "QtApp.h"
#include "channel/ChannelLayout.h"
#include "core/CommandEntry.h"
#include "core/MediaStateText.h"
#include "core/NodeSync.h"
#include "core/TaskPlanFile.h"
#include "kestrane/common.h"
#include "kestrane/gconfig.h"

namespace fs = std::filesystem;

namespace {

std::string g_root;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
    const fs::path dir = fs::path(g_root) / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string HeadBytes(uint32_t code, std::initializer_list<int32_t> ints = {}, const std::string& text = {},
                      const std::string& body = {}) {
    tagNETHEAD h{};
    h.command = code;
    int k = 0;
    for (int32_t v : ints) h.intParam[k++] = v;
    std::memcpy(h.textParam, text.data(), std::min(text.size(), sizeof h.textParam - 1));
    h.bodyLength = static_cast<uint32_t>(body.size());
    std::string out(reinterpret_cast<const char*>(&h), sizeof h);
    return out + body;
}

CHANNEL_BASE_INFO Record(int32_t id, RECT stage) {
    CHANNEL_BASE_INFO rec;
    std::memset(static_cast<void*>(&rec), 0, sizeof rec);
    rec.channelId = id;
    rec.blendWidth = RECT{0, 0, 4, 0};
    rec.rect = stage;
    for (int i = 0; i < 41; ++i)
        for (int j = 0; j < 41; ++j) rec.grid[i][j] = DOUBLE_POINT{i / 20.0 - 1.0, j / 20.0 - 1.0};
    for (int k = 0; k < 3; ++k) rec.colorRatio[k] = 1.0f;
    return rec;
}

std::string RecordBytes(const std::vector<CHANNEL_BASE_INFO>& recs) {
    return std::string(reinterpret_cast<const char*>(recs.data()), recs.size() * sizeof(CHANNEL_BASE_INFO));
}

void CommandSeeds() {
    // One bare head for every code the dispatcher knows.
    const std::pair<uint32_t, uint32_t> ranges[] = {{2, 13},     {101, 136},   {201, 206},   {301, 311}, {501, 541},
                                                    {801, 812},  {901, 901},   {1001, 1009}, {1101, 1110},
                                                    {1201, 1204}};
    for (auto [low, high] : ranges)
        for (uint32_t code = low; code <= high; ++code) Seed("command_fuzzer", "code-" + std::to_string(code), HeadBytes(code));
    // A world of two channels, saved and loaded again.
    const std::string records = RecordBytes({Record(1, {0, 0, 1920, 1080}), Record(2, {1920, 0, 3840, 1080})});
    Seed("command_fuzzer", "set-world-save-reload",
         HeadBytes(10, {2, 1, 2, 1920, 1080, 0, 0, 0}, {}, records) + HeadBytes(6) + HeadBytes(1006));
    // A far-out 1 x 1 world, saved and reloaded.
    Seed("command_fuzzer", "far-world-save-reload",
         HeadBytes(5, {1, 1, 1, 1, 0x30000000, 0x30000000, 0}) + HeadBytes(6) + HeadBytes(1006));
    Seed("command_fuzzer", "reset-world", HeadBytes(5, {3, 3, 640, 480}));
    Seed("command_fuzzer", "load-video", HeadBytes(503, {0}, "a.mp4"));
    Seed("command_fuzzer", "load-picture", HeadBytes(504, {2}, "b.jpg"));
    // An upload in its parts: check, prepare, one block, finish.
    std::string upload;
    for (uint32_t code = 1201; code <= 1204; ++code)
        upload += HeadBytes(code, {0, 0, 0, 0, 0x31}, "up.txt", code == 1203 ? std::string("hello") : std::string());
    Seed("command_fuzzer", "upload", upload);
}

void ChannelSeeds() {
    CChannelLayout layout;
    const std::vector<CHANNEL_BASE_INFO> recs{Record(1, {0, 0, 1920, 1080}), Record(2, {1920, 0, 3840, 1080})};
    layout.CreateChannels(2, recs.data(), 1920, 1080, true);
    const std::string dir = fuzzsupport::FreshDir("seeds");
    layout.SaveCodFile(dir + "/two.cfg");
    Seed("channel_file_fuzzer", "layout-two", std::string(1, '\0') + ReadAll(dir + "/two.cfg"));
    layout.m_channels.SaveChannelData(dir + "/two.dat");
    Seed("channel_file_fuzzer", "data-two", std::string(1, '\1') + ReadAll(dir + "/two.dat"));
    CChannelLayout far;
    far.m_nOriginX = 0x30000000;
    far.m_nOriginY = 0x30000000;
    far.m_nChannelWidth = 1;
    far.m_nChannelHeight = 1;
    far.SaveCodFile(dir + "/far.cfg");
    Seed("channel_file_fuzzer", "layout-far", std::string(1, '\0') + ReadAll(dir + "/far.cfg"));
}

void CoreSeeds() {
    fuzzsupport::CoreOnFakes s;
    for (const char* name : {"a.mp4", "b.mp4"})
        s.AddMedia(kMediaFileVideo, name);
    s.AddMedia(kMediaPicture, "c.jpg");
    s.core->SaveMediaList();
    Seed("media_list_fuzzer", "media-list", std::string(1, '\0') + ReadAll(s.core->m_strMediaListPath));
    s.core->SavePlaylist();
    Seed("media_list_fuzzer", "playlist", std::string(1, '\1') + ReadAll(s.core->m_strPlaylistPath));
    const std::string state = BuildMediaStateText(*s.core);
    Seed("node_sync_fuzzer", "slave-state", std::string("\0\1", 2) + state);
    Seed("node_sync_fuzzer", "master-heartbeat-acks",
         std::string("\1\3\xff\x33\xff\x35\xff\x65\xff\2\xff\x04", 12));
    Seed("node_sync_fuzzer", "slave-time", std::string("\0\x64\x10\x27\0\0\xff\4", 8));
}

void TaskSeeds() {
    TaskPlanTask task;
    task.Name = "evening show";
    task.TaskId = "7";
    task.StartTime = "1700000000";
    task.EndTime = "1700003600";
    task.TaskType = 1;
    TaskMediaEntry entry;
    entry.Name = "a.mp4";
    entry.MediaId = "1";
    entry.TaskId = "7";
    entry.RepeatCount = 2;
    TaskProfileEntry profile;
    profile.Name = "p";
    profile.PlayStatus = 1;
    entry.Profiles.push_back(profile);
    task.Medias.push_back(entry);
    std::string text;
    TaskPlanToText(task, text);
    Seed("task_plan_fuzzer", "one-task", text);
    Seed("xml_fuzzer", "one-task", text);
    TaskPlanTask second = task;
    second.Name = "晨间";
    second.Medias.clear();
    TaskPlanListToText({task, second}, text);
    Seed("task_plan_fuzzer", "two-tasks", text);
}

void ConsoleSeeds() {
    fuzzsupport::QtApp();
    GConfig& c = GConfig::instance();
    c.clearProject();
    const QByteArray bytes = c.projectFileBytes();
    Seed("project_file_fuzzer", "empty-project", bytes.toStdString());
    // One default record of each kind, behind the byte that picks it.
    const QByteArray blobs[] = {DeviceRecord().toBlob(),     EffectKey().toBlob(),     MediaSource().toBlob(),
                                OutControlRecord().toBlob(), LayerIORecord().toBlob(), PlayControlRecord().toBlob()};
    for (int k = 0; k < 6; ++k)
        Seed("console_record_fuzzer", "record-" + std::to_string(k), std::string(1, char(k)) + blobs[k].toStdString());
    MediaSource media;
    media.effects.insert(3, EffectKey());
    Seed("console_record_fuzzer", "media-with-key", std::string(1, '\2') + media.toBlob().toStdString());
}

// Small pictures in the formats the servers meet, and one whose header
// claims a picture far over the bound.
void PictureSeeds() {
    fuzzsupport::QtApp();
    QImage image(12, 7, QImage::Format_ARGB32);
    image.fill(QColor(30, 140, 220, 128));
    for (const char* format : {"JPG", "PNG", "BMP", "PPM"}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (image.save(&buffer, format)) Seed("picture_fuzzer", std::string("small.") + format, bytes.toStdString());
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG")) return;
    const int sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0 || sof + 8 >= jpeg.size()) return;
    for (int k = 5; k <= 8; ++k) jpeg[sof + k] = static_cast<char>(0xFF);
    Seed("picture_fuzzer", "claims-65535x65535.jpg", jpeg.toStdString());
}

// Small pictures in each format the import takes, and one whose header
// claims far more than its bytes.
void ImportSeeds() {
    fuzzsupport::QtApp();
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(QColor(30, 160, 90));
    for (const char* format : {"PNG", "JPG", "GIF", "BMP"}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!picture.save(&buffer, format)) continue;
        Seed("import_probe_fuzzer", std::string("picture-") + format, bytes.toStdString());
        if (std::strcmp(format, "JPG") == 0) {
            const int sof = bytes.indexOf(QByteArray("\xff\xc0", 2));
            if (sof > 0 && sof + 8 < bytes.size()) {
                bytes[sof + 5] = bytes[sof + 7] = char(0xFF);
                bytes[sof + 6] = bytes[sof + 8] = char(0xDC);
                Seed("import_probe_fuzzer", "jpeg-claiming-65500", bytes.toStdString());
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    g_root = argv[1];
    CommandSeeds();
    ChannelSeeds();
    CoreSeeds();
    PictureSeeds();
    TaskSeeds();
    ConsoleSeeds();
    ImportSeeds();
    return 0;
}
