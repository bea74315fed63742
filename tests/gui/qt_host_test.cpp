// The window front end's host on Qt's offscreen platform (no display needed):
// how requests from other threads reach the user-interface thread, and how
// the host lets such threads go when it closes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "ui/dialog.h"
#include "ui/qt/qt_host_impl.h"
#include "ui/resources.h"

namespace ui::qt {
namespace {

class QtHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("QUILLON_UI_LOG");
    }
};

// A main dialog whose worker thread sets the status text many times, then
// ends the dialog, as the upgrade does.
class WorkerDialog final : public Dialog {
  public:
    static constexpr int kRequests = 200;

    explicit WorkerDialog(Host& host) : Dialog(host, IDD_QUILLON_DIALOG) {}

    std::atomic<bool> started{false};
    std::atomic<int> servedOnUiThread{0};
    std::atomic<int> served{0};
    std::atomic<int> notYetServed{0};  // a request had not run when its send returned

  protected:
    bool OnInitDialog() override {
        Dialog::OnInitDialog();
        started = GetHost().StartThread([this] { Work(); });
        return true;
    }

  private:
    void Work() {
        for (int i = 1; i <= kRequests; ++i) {
            SendRequest([this, i] {
                if (GetHost().IsUiThread()) ++servedOnUiThread;
                SetDlgItemText(IDC_STATUS, std::to_string(i));
                served = i;
            });
            if (served != i) ++notYetServed;
        }
        EndDialog(IDOK);
    }
};

TEST_F(QtHostTest, AWorkersRequestsRunOnTheUiThreadAndTheWorkerWaitsForEach) {
    QtHost host(ResourceSet::ForLanguage(Language::kEnglish));
    WorkerDialog dialog(host);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    ASSERT_TRUE(dialog.started);
    EXPECT_EQ(dialog.served, WorkerDialog::kRequests);
    EXPECT_EQ(dialog.servedOnUiThread, WorkerDialog::kRequests);
    EXPECT_EQ(dialog.notYetServed, 0);
}

TEST_F(QtHostTest, ClosingLetsWaitingThreadsGoAndWaitsForThem) {
    constexpr int kThreads = 3;
    std::atomic<int> finished{0};
    std::atomic<int> served{0};
    {
        QtHost host(ResourceSet::ForLanguage(Language::kEnglish));
        for (int t = 0; t < kThreads; ++t) {
            ASSERT_TRUE(host.StartThread([&] {
                for (int i = 0; i < 1000; ++i) host.SendToUiThread([&] { ++served; });
                ++finished;
            }));
        }
        // Nothing runs the user-interface thread's loop before the host closes:
        // the threads are (or will be) waiting for their first request.
    }
    // The host returned only after every thread had finished, and once it was
    // closing it ran none of their requests.
    EXPECT_EQ(finished, kThreads);
    EXPECT_EQ(served, 0);
}

}  // namespace
}  // namespace ui::qt
