#pragma once

#include "platform/OpenPanel.h"

#include <QList>

#include <functional>

namespace ferrodock::test {

// A chooser that answers from a script instead of asking a person.
class ScriptedPanel final : public OpenPanel {
public:
    OpenPanelAnswer runModal(const OpenPanelSettings& settings, QWidget*) override {
        seen.append(settings);
        if (answered) answered();
        return answers.isEmpty() ? OpenPanelAnswer{} : answers.takeFirst();
    }
    QList<OpenPanelAnswer> answers;
    QList<OpenPanelSettings> seen;
    std::function<void()> answered;  // called as the answer is given
};

}  // namespace ferrodock::test
