// A host for driving a Form without a screen: it remembers what the program
// showed the player and how it ended.
#pragma once

#include "forms.h"

#include <functional>
#include <string>
#include <vector>

struct RecordingHost : rt::Host {
    std::vector<std::string> boxes;
    std::vector<int> errors;
    std::vector<int> ends;
    // Runs while a message box is "open", as the platform's event loop would.
    std::function<void()> whileBoxOpen;

    void messageBox(std::string_view text) override
    {
        boxes.emplace_back(text);
        if (whileBoxOpen)
            whileBoxOpen();
    }
    void errorReported(int number, std::string_view) override { errors.push_back(number); }
    void programEnded(int status) override { ends.push_back(status); }
};
