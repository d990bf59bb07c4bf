#pragma once
// A modal dialog described as data. Every named dialog of the program is a
// Form builder carrying its caption and labels; the desktop renders any Form
// with one generic dialog, the console fills it from "name=value,..." answers
// in which a field may also be named by its label.

#include <string>

#include "platform/error.h"
#include <vector>

namespace tessarin {

struct FormField {
    enum class Kind { Int, Real, Text, Radio, Check };
    Kind kind = Kind::Int;
    std::string name;   // key used by scripted answers
    std::string label;  // caption shown beside the control
    long long intValue = 0;
    double realValue = 0.0;
    std::string text;
    int choice = 0;                    // Radio: selected index
    std::vector<std::string> choices;  // Radio: captions
    bool checked = false;              // Check

    // The value as an answer writes it: the number, the text, the radio
    // caption, 1 or 0 for a check box.
    std::string valueText() const;
};

class Form {
public:
    explicit Form(std::string title = {}) : title_(std::move(title)) {}

    const std::string& title() const { return title_; }
    std::vector<FormField>& fields() { return fields_; }
    const std::vector<FormField>& fields() const { return fields_; }

    Form& addInt(const std::string& name, const std::string& label, long long value);
    Form& addReal(const std::string& name, const std::string& label, double value);
    Form& addText(const std::string& name, const std::string& label, const std::string& value);
    Form& addRadio(const std::string& name, const std::string& label, std::vector<std::string> choices, int choice);
    Form& addCheck(const std::string& name, const std::string& label, bool checked);

    FormField& field(const std::string& name);  // throws Error when absent
    const FormField& field(const std::string& name) const;
    long long intValue(const std::string& name) const { return field(name).intValue; }
    double realValue(const std::string& name) const { return field(name).realValue; }
    const std::string& text(const std::string& name) const { return field(name).text; }
    int choice(const std::string& name) const { return field(name).choice; }
    bool checked(const std::string& name) const { return field(name).checked; }

    // Applies "key=value,key=value" to the fields, all or none. A key is a
    // field's name, or its label as the dialog shows it (blanks around both
    // trimmed) when that label is the only one of its kind and holds no ','
    // or '='; a name always means its own field. Throws Error naming the
    // offending item when a key fits no field, is a label several fields
    // share (listing their names), or a value does not parse.
    void applyAnswer(const std::string& answer);
    // The current values as "name=value,..." (the inverse of applyAnswer).
    std::string describe() const;

private:
    std::string title_;
    std::vector<FormField> fields_;
};

}  // namespace tessarin
