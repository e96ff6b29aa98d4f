#pragma once
// Runs the writer on generated TIFF inputs and keeps what it reported.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "PsdTestReader.h"
#include "common/TempDir.h"
#include "TestImages.h"
#include "output/WRWriter.h"

namespace psdtest {

class WriterFixture : public testing::Test {
protected:
    // Writes `bitmap` as a TIFF named `name` in the fixture's folder; answers its path.
    std::string input(const std::string& name, const qv::Bitmap& bitmap, const std::vector<std::uint8_t>& profile = {}) {
        const std::string path = m_dir.file(name);
        writeTiff(path, bitmap, profile);
        return path;
    }

    WRWriterDelegate delegate() {
        WRWriterDelegate d;
        d.notificationCenter = &m_center;
        d.showAlert = [this](const WRAlert& a) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_alerts.push_back(a);
        };
        return d;
    }

    bool write(const std::vector<std::string>& files, const std::string& output, int depth = 1,
               int compression = kWRCompressionRaw) {
        WRWriteRequest request;
        request.files = files;
        request.photoshopFile = output;
        request.info._depth = std::int16_t(depth);
        request.info._compression = std::int16_t(compression);
        WRWriter writer(delegate());
        return writer.writePhotoshopFile(request);
    }

    Document read(const std::string& path) {
        std::string error;
        auto doc = readDocument(path, error);
        EXPECT_TRUE(doc) << path << ": " << error;
        return doc ? *doc : Document{};
    }

    std::string file(const std::string& name) const { return m_dir.file(name); }
    const std::string& folder() const { return m_dir.path(); }

    qvtest::TempDir m_dir;
    std::mutex m_lock;
    std::vector<WRStatus> m_statuses;
    std::vector<WRAlert> m_alerts;
    // The writers' notifications, seen the way any observer of the center sees them.
    qv::NotificationCenter m_center;
    qv::Subscription m_observer =
        m_center.addObserver(WRWriter::kUpdateNotification, nullptr, [this](const qv::Notification& n) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_statuses.push_back(WRStatus::fromUserInfo(n.userInfo));
        });
};

}  // namespace psdtest
