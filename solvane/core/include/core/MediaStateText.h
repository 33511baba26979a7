// The media state text that a synchronisation master hands a new slave: one
// item per video file of the media list, in list order, joined by "|"; an
// item is name "<" position (signed 64-bit, 100 ns units) "," play state ">".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CMediaManager;
class IMedia;

struct MediaStateEntry {
    std::string name;
    int64_t position = 0;
    int32_t state = 0;
};

// Builds the text from the core's media list (take the media lock around
// it); records each listed video's play state in states when given. Empty
// when there is no video file.
std::string BuildMediaStateText(CMediaManager& core, std::map<IMedia*, int32_t>* states = nullptr);

// Entries of a state text; items without a name before "<" or without a
// play state are skipped.
std::vector<MediaStateEntry> ParseMediaStateText(const std::string& text);
