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
#include "ui/WarningFRM.h"

// One offscreen QApplication per test program, a data folder per test and
// answers for the modal windows a test expects.
namespace tw::test {

// The application object a test program runs under; a program that tests
// the program's own application class sets it during static initialisation.
using ApplicationFactory = std::function<std::unique_ptr<QApplication>(int&, char**)>;
inline ApplicationFactory& TestApplicationFactory() {
    static ApplicationFactory factory = [](int& argc, char** argv) {
        return std::make_unique<QApplication>(argc, argv);
    };
    return factory;
}

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tw_ui_test";
        static char* argv[] = {name, nullptr};
        app_ = TestApplicationFactory()(argc, argv);
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

// Answers modal windows in order, recording title and lblWarning's text. A
// window nobody expected is closed with Cancel, so a test never hangs on it.
class ModalAnswers {
public:
    using Answer = std::function<void(TfrmBase&)>;
    struct Shown {
        QString title, text;
    };

    ModalAnswers() {
        TfrmBase::SetModalHook([this](TfrmBase& window) { Answer_(window); });
    }
    ~ModalAnswers() { TfrmBase::SetModalHook({}); }
    ModalAnswers(const ModalAnswers&) = delete;
    ModalAnswers& operator=(const ModalAnswers&) = delete;

    void Push(Answer answer) { answers_.push_back(std::move(answer)); }
    void PushKey(Qt::Key key) {
        Push([key](TfrmBase& w) { QTest::keyClick(&w, key); });
    }
    const std::vector<Shown>& shown() const noexcept { return shown_; }

private:
    void Answer_(TfrmBase& window) {
        // Keys reach a window's short-cuts only while it is the active one.
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        auto* label = window.findChild<QLabel*>(QStringLiteral("lblWarning"));
        shown_.push_back({window.windowTitle(), label ? label->text() : QString()});
        if (answers_.empty()) {
            window.reject();
            return;
        }
        Answer answer = std::move(answers_.front());
        answers_.pop_front();
        answer(window);
    }

    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
};

// The build's program folder and a fresh data folder seeded from the
// templates: each test has its own appearance file and settings store.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", data.Path()});
        CopyDatabaseTemplates();
        ResetAppearance();
        ResetOptions();
    }
    void TearDown() override {
        TfrmBase::SetModalHook({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ResetOptions();
        ResetAppearance();
    }
    // Notices are recorded as "title: text" and closed with OK; every other
    // modal window goes to `other`.
    void OnModal(std::function<void(TfrmBase&)> other) {
        TfrmBase::SetModalHook([this, other = std::move(other)](TfrmBase& window) {
            if (auto* notice = dynamic_cast<TfrmWarning*>(&window)) {
                notices.push_back(
                    (window.windowTitle() + QStringLiteral(": ") + notice->lblWarning->text())
                        .toStdString());
                notice->accept();
                return;
            }
            other(window);
        });
    }

    TempDir data;
    std::vector<std::string> notices;
};

}  // namespace tw::test
