#include "form_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/text.h"

namespace tessarin::app {

FormDialog::FormDialog(const Form& form, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(form.title()));
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    layout->addLayout(fields);
    for (const auto& f : form.fields()) {
        const QString label = QString::fromStdString(f.label);
        std::vector<QWidget*> widgets;
        switch (f.kind) {
            case FormField::Kind::Int:
            case FormField::Kind::Real:
            case FormField::Kind::Text: {
                auto* edit = new QLineEdit(this);
                if (f.kind == FormField::Kind::Int) edit->setText(QString::number(f.intValue));
                else if (f.kind == FormField::Kind::Real) edit->setText(QString::number(f.realValue, 'g', 15));
                else edit->setText(QString::fromStdString(f.text));
                fields->addRow(label, edit);
                widgets.push_back(edit);
                break;
            }
            case FormField::Kind::Radio: {
                auto* box = new QGroupBox(label, this);
                auto* boxLayout = new QVBoxLayout(box);
                auto* group = new QButtonGroup(box);
                for (std::size_t i = 0; i < f.choices.size(); ++i) {
                    auto* b = new QRadioButton(QString::fromStdString(f.choices[i]), box);
                    b->setChecked(static_cast<int>(i) == f.choice);
                    group->addButton(b, static_cast<int>(i));
                    boxLayout->addWidget(b);
                    widgets.push_back(b);
                }
                fields->addRow(box);
                break;
            }
            case FormField::Kind::Check: {
                auto* check = new QCheckBox(label, this);
                check->setChecked(f.checked);
                fields->addRow(check);
                widgets.push_back(check);
                break;
            }
        }
        controls_.emplace_back(f.name, std::move(widgets));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QWidget* FormDialog::control(const std::string& name) const {
    for (const auto& [n, widgets] : controls_)
        if (n == name && !widgets.empty()) return widgets.front();
    return nullptr;
}

bool FormDialog::store(Form& form) const {
    for (const auto& [name, widgets] : controls_) {
        FormField& f = form.field(name);
        switch (f.kind) {
            case FormField::Kind::Int: {
                const auto v = parseInteger(static_cast<QLineEdit*>(widgets[0])->text().trimmed().toStdString());
                if (!v) return false;
                f.intValue = *v;
                break;
            }
            case FormField::Kind::Real: {
                const auto v = parseReal(static_cast<QLineEdit*>(widgets[0])->text().trimmed().toStdString());
                if (!v) return false;
                f.realValue = *v;
                break;
            }
            case FormField::Kind::Text:
                f.text = static_cast<QLineEdit*>(widgets[0])->text().toStdString();
                break;
            case FormField::Kind::Radio:
                for (std::size_t i = 0; i < widgets.size(); ++i)
                    if (static_cast<QRadioButton*>(widgets[i])->isChecked()) f.choice = static_cast<int>(i);
                break;
            case FormField::Kind::Check:
                f.checked = static_cast<QCheckBox*>(widgets[0])->isChecked();
                break;
        }
    }
    return true;
}

}  // namespace tessarin::app
