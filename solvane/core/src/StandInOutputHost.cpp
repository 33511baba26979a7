#include "core/OutputHost.h"

#include "core/MediaManager.h"
#include "core/QuorvelApp.h"
#include "core/ServerClock.h"
#include "util/Util.h"

StandInOutputHost::StandInOutputHost() = default;
StandInOutputHost::~StandInOutputHost() = default;

void StandInOutputHost::Post(const std::string& what) {
    std::lock_guard lock(m_lock);
    m_queue.push_back(what);
}

void StandInOutputHost::RequestQuit() {
    Post("quit");
    m_quit.Set();
}

std::vector<std::string> StandInOutputHost::HandledRequests() const {
    std::lock_guard lock(m_lock);
    return m_handled;
}

int StandInOutputHost::RunRenderLoop() {
    CServerClock::GetInstance()->ResetToTick();
    CMediaManager* core = GetMediaManager();
    core->MediaSize(1);
    core->Initialize();
    StartNetworkListenThread();

    bool quit = false;
    while (!quit) {
        for (;;) {
            std::string request;
            {
                std::lock_guard lock(m_lock);
                if (m_queue.empty()) break;
                request = m_queue.front();
                m_queue.pop_front();
                m_handled.push_back(request);
            }
            if (request == "quit") {
                quit = true;
                break;
            }
            m_quit.Wait(5);
        }
        if (quit) break;
        // The quit request cuts the pause short.
        m_quit.Wait(5);
        if (m_frameHook) m_frameHook();
    }

    core->stopalltask();
    CServerClock::DestroyInstance();
    return 0;
}
