// Form1's event handlers: the rules of the game.
#pragma once

#include "forms.h"

#include <array>

namespace skeetra {

class Form1 {
public:
    explicit Form1(rt::Form& form);
    static const rt::FormDesign& design();

    rt::Form& form;
    rt::Label &Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7, &Label8, &Label9, &Label10, &Label11,
        &Label12;
    rt::Image &Image1, &Image2, &Image3, &Image4, &Image5, &Image6, &Image7, &Image8, &Image9, &Image10, &Image11,
        &Image12, &Image13;
    rt::Timer &Timer1, &Timer2;

    void Form_Load();
    void Form_Click();
    void Image1_Click();
    void Image2_Click();
    void Image3_Click();
    void Image4_Click();
    void Image5_Click();
    void Image6_Click();
    void Image7_Click();
    void Image8_Click();
    void Image9_Click();
    void Image10_Click();
    void Image11_Click();
    void Image12_Click();
    void Image13_Click();
    void Label1_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    // Index k of Label10 names target Image(k + 2).
    const std::array<rt::Image*, 12> targets;

private:
    void hit(rt::Image& target);
};

} // namespace skeetra
