// Resources compiled into the program (see cmake/EmbedResources.cmake):
// numbered blocks of bytes of a type such as "DATA", found by id and type.
#pragma once

#include <cstddef>
#include <cstdint>

struct ResourceEntry {
    int id;                       // 0 ends a table
    const char* type;
    const unsigned char* data;
    size_t size;
};

struct ResourceView {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Adds a table (ended by id 0) to the ones searched; the server's own table
// is always there. The table must live for the rest of the process.
void RegisterResourceTable(const ResourceEntry* table);
// Finds resource id of the type (compared without regard to case).
bool FindResource(int id, const char* type, ResourceView& out);
