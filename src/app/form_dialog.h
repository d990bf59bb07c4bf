#pragma once
// One generic modal dialog that renders any Form: a labelled control per
// field, OK and Cancel.

#include <QDialog>
#include <vector>

#include "platform/form.h"

namespace tessarin::app {

class FormDialog : public QDialog {
public:
    FormDialog(const Form& form, QWidget* parent = nullptr);
    // Copies the controls' values into the form; false when one does not parse.
    bool store(Form& form) const;

    // The control of a field, for tests and focus handling.
    QWidget* control(const std::string& name) const;

private:
    std::vector<std::pair<std::string, std::vector<QWidget*>>> controls_;
};

}  // namespace tessarin::app
