#include "platform/form.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdlib>

#include "platform/error.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin {

Form& Form::addInt(const std::string& name, const std::string& label, long long value) {
    FormField f;
    f.kind = FormField::Kind::Int;
    f.name = name;
    f.label = label;
    f.intValue = value;
    fields_.push_back(std::move(f));
    return *this;
}

Form& Form::addReal(const std::string& name, const std::string& label, double value) {
    FormField f;
    f.kind = FormField::Kind::Real;
    f.name = name;
    f.label = label;
    f.realValue = value;
    fields_.push_back(std::move(f));
    return *this;
}

Form& Form::addText(const std::string& name, const std::string& label, const std::string& value) {
    FormField f;
    f.kind = FormField::Kind::Text;
    f.name = name;
    f.label = label;
    f.text = value;
    fields_.push_back(std::move(f));
    return *this;
}

Form& Form::addRadio(const std::string& name, const std::string& label, std::vector<std::string> choices, int choice) {
    FormField f;
    f.kind = FormField::Kind::Radio;
    f.name = name;
    f.label = label;
    f.choices = std::move(choices);
    f.choice = choice;
    fields_.push_back(std::move(f));
    return *this;
}

Form& Form::addCheck(const std::string& name, const std::string& label, bool checked) {
    FormField f;
    f.kind = FormField::Kind::Check;
    f.name = name;
    f.label = label;
    f.checked = checked;
    fields_.push_back(std::move(f));
    return *this;
}

FormField& Form::field(const std::string& name) {
    for (auto& f : fields_)
        if (f.name == name) return f;
    throw Error(format("dialog \"%s\" has no field \"%s\"", title_.c_str(), name.c_str()));
}

const FormField& Form::field(const std::string& name) const { return const_cast<Form*>(this)->field(name); }

std::string FormField::valueText() const {
    switch (kind) {
        case Kind::Int: return format("%lld", intValue);
        case Kind::Real: {
            // The shortest text that reads back as the same double.
            char buffer[64];
            const auto r = std::to_chars(buffer, buffer + sizeof buffer, realValue);
            return {buffer, r.ptr};
        }
        case Kind::Text: return text;
        case Kind::Radio:
            return choice >= 0 && static_cast<std::size_t>(choice) < choices.size()
                       ? choices[static_cast<std::size_t>(choice)]
                       : format("%d", choice);
        case Kind::Check: return checked ? "1" : "0";
    }
    return {};
}

namespace {

// The field an answer key means: by name first, then by a label that only
// one field carries. A label holding ',' or '=' cannot stand in an answer.
std::size_t answeredField(const std::vector<FormField>& fields, const std::string& title, const std::string& key) {
    std::vector<std::size_t> byLabel;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == key) return i;
        const std::string label = trim(fields[i].label);
        if (!label.empty() && label == key && label.find_first_of(",=") == std::string::npos) byLabel.push_back(i);
    }
    if (byLabel.size() == 1) return byLabel[0];
    if (byLabel.empty()) throw Error(format("dialog \"%s\" has no field \"%s\"", title.c_str(), key.c_str()));
    std::string names;
    for (std::size_t i : byLabel) names.append(names.empty() ? "" : ", ").append(fields[i].name);
    throw Error(format("dialog \"%s\": \"%s\" is the label of the fields %s; answer them by name", title.c_str(),
                       key.c_str(), names.c_str()));
}

}  // namespace

void Form::applyAnswer(const std::string& answer) {
    // Filled in a copy, so that a refused answer leaves every field as it was.
    std::vector<FormField> filled = fields_;
    for (const std::string& item : splitString(answer, ',')) {
        const std::string trimmed = trim(item);
        if (trimmed.empty()) continue;
        const auto eq = trimmed.find('=');
        if (eq == std::string::npos)
            throw Error(format("dialog \"%s\": answer item \"%s\" is not name=value", title_.c_str(), trimmed.c_str()));
        const std::string key = trim(trimmed.substr(0, eq));
        const std::string value = trim(trimmed.substr(eq + 1));
        FormField& f = filled[answeredField(filled, title_, key)];
        const auto bad = [&] {
            return Error(format("dialog \"%s\": \"%s\" is not a valid value for \"%s\"", title_.c_str(), value.c_str(),
                                f.name.c_str()));
        };
        switch (f.kind) {
            case FormField::Kind::Int: {
                const auto v = parseInteger(value);
                if (!v) throw bad();
                f.intValue = *v;
                break;
            }
            case FormField::Kind::Real: {
                const auto v = parseReal(value);
                if (!v) throw bad();
                f.realValue = *v;
                break;
            }
            case FormField::Kind::Text:
                f.text = value;
                break;
            case FormField::Kind::Radio: {
                const auto v = parseInteger(value);
                int index = -1;
                if (v && *v >= 0 && *v < static_cast<long long>(f.choices.size())) index = static_cast<int>(*v);
                for (std::size_t i = 0; index < 0 && i < f.choices.size(); ++i)
                    if (f.choices[i] == value) index = static_cast<int>(i);
                if (index < 0) throw bad();
                f.choice = index;
                break;
            }
            case FormField::Kind::Check:
                if (value == "1" || value == "true" || value == "on") f.checked = true;
                else if (value == "0" || value == "false" || value == "off") f.checked = false;
                else throw bad();
                break;
        }
    }
    fields_ = std::move(filled);
}

std::string Form::describe() const {
    std::string out;
    for (const auto& f : fields_) {
        if (!out.empty()) out += ',';
        out += f.name + '=';
        switch (f.kind) {
            case FormField::Kind::Int: out += format("%lld", f.intValue); break;
            case FormField::Kind::Real: out += format("%.17g", f.realValue); break;
            case FormField::Kind::Text: out += f.text; break;
            case FormField::Kind::Radio: out += format("%d", f.choice); break;
            case FormField::Kind::Check: out += f.checked ? "1" : "0"; break;
        }
    }
    return out;
}

}  // namespace tessarin
