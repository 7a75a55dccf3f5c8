// A simulated LAN started in-process on free loopback ports, and a context that
// talks to it with the fast timing table. Every test gets its own LAN and ports.
#pragma once

#include "platform/error_reporter.h"
#include "transport/udp/udp_context.h"
#include "sim/sim_lan.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace vnk::testing {

class SimLanTest : public ::testing::Test {
protected:
    void startLan(const std::vector<sim::BoxSpec>& boxes, sim::LanOptions options = {}) {
        m_lan = std::make_unique<sim::SimLan>(options);
        for (const auto& b : boxes)
            m_lan->addBox(b);
        std::string error;
        ASSERT_TRUE(m_lan->start(&error)) << error;
        m_context = std::make_unique<protocol::UdpServerContext>(m_lan->endpoint(), platform::Timing::fast(),
                                                                m_reporter);
        m_context->programDirectory = m_dir.path();
        m_context->settingsPath = m_dir.file("Config.ini");
        // Every box type is let in unless a test writes its own filter.
        m_dir.write("Config.ini", "[General Information]\nDeviceType1=0\n");
    }
    sim::SimLan& lan() { return *m_lan; }
    protocol::UdpServerContext& ctx() { return *m_context; }

    RecordingReporter m_reporter;
    ScratchDir m_dir;
    std::unique_ptr<sim::SimLan> m_lan;
    std::unique_ptr<protocol::UdpServerContext> m_context;
};

} // namespace vnk::testing
