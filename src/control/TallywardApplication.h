#pragma once

#include <QApplication>

// The program's application object: the one place that catches what escapes
// an event handler, so an error reaches the user instead of ending the program.
namespace tw {

class TApplication final : public QApplication {
public:
    TApplication(int& argc, char** argv);

    // Delivers the event; an exception escaping its handler goes to
    // ApplicationOnException and the event counts as not handled.
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tw
