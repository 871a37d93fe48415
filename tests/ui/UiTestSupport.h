#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QTest>

#include "base/Appearance.h"
#include "base/Paths.h"
#include "storage/Options.h"
#include "support/TestSupport.h"
#include "ui/BaseFRM.h"

// One QApplication for the whole test program (offscreen, set by ctest),
// and a queue of answers for the modal windows a test expects.
namespace tw::test {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tw_ui_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app_.reset();
    }

private:
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// What a modal window showed when it came up.
struct ShownWindow {
    QString title;  // the header caption
    QString text;   // lblWarning's text, when it has one
};

// Answers modal windows in order: each one shown takes the next answer.
// A window nobody expected is recorded and closed with Cancel, so a test
// never hangs on it.
class ModalAnswers {
public:
    using Answer = std::function<void(TfrmBase&)>;

    ModalAnswers() {
        TfrmBase::SetModalHook([this](TfrmBase& window) { Answer_(window); });
    }
    ~ModalAnswers() { TfrmBase::SetModalHook({}); }
    ModalAnswers(const ModalAnswers&) = delete;
    ModalAnswers& operator=(const ModalAnswers&) = delete;

    void Push(Answer answer) { answers_.push_back(std::move(answer)); }
    // Closes the next window with OK / Cancel.
    void PushAccept() {
        Push([](TfrmBase& w) { w.accept(); });
    }
    void PushKey(Qt::Key key) {
        Push([key](TfrmBase& w) { QTest::keyClick(&w, key); });
    }

    const std::vector<ShownWindow>& Shown() const noexcept { return shown_; }
    int Unexpected() const noexcept { return unexpected_; }

private:
    void Answer_(TfrmBase& window) {
        // Keys reach a window's short-cuts only while it is the active one.
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) {
            ADD_FAILURE() << "modal window never became active";
        }
        ShownWindow shown;
        shown.title = window.windowTitle();
        if (auto* label = window.findChild<QLabel*>(QStringLiteral("lblWarning"))) {
            shown.text = label->text();
        }
        shown_.push_back(shown);
        if (answers_.empty()) {
            ++unexpected_;
            window.reject();
            return;
        }
        Answer answer = std::move(answers_.front());
        answers_.pop_front();
        answer(window);
    }

    std::deque<Answer> answers_;
    std::vector<ShownWindow> shown_;
    int unexpected_ = 0;
};

// The build's program folder (templates and skins) and a fresh data folder
// seeded from the templates, so each test has its own appearance file and
// settings store.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", data.Path()});
        CopyDatabaseTemplates();
        ResetAppearance();
        ResetOptions();
    }
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ResetOptions();
        ResetAppearance();
    }

    TempDir data;
};

}  // namespace tw::test
