#include "core/Resources.h"

#include <strings.h>

#include <mutex>
#include <vector>

extern const ResourceEntry sv_resources_solvane_core[];

namespace {

std::mutex g_lock;

std::vector<const ResourceEntry*>& Tables() {
    static std::vector<const ResourceEntry*> tables{sv_resources_solvane_core};
    return tables;
}

}  // namespace

void RegisterResourceTable(const ResourceEntry* table) {
    if (!table) return;
    std::lock_guard lock(g_lock);
    Tables().push_back(table);
}

bool FindResource(int id, const char* type, ResourceView& out) {
    if (id == 0 || !type) return false;
    std::lock_guard lock(g_lock);
    for (const ResourceEntry* table : Tables()) {
        for (const ResourceEntry* e = table; e->id != 0; ++e) {
            if (e->id == id && strcasecmp(e->type, type) == 0) {
                out.data = e->data;
                out.size = e->size;
                return true;
            }
        }
    }
    return false;
}
