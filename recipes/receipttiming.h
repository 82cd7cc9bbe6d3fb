#ifndef RECEIPTTIMING_H
#define RECEIPTTIMING_H

// The hold timing of the recipe windows' scroll buttons, in milliseconds. One set for the whole
// program: every recipe panel reads and writes it, and every manager and creation dialog uses it
// at its next step.
class ReceiptTiming
{
public:
    static constexpr unsigned DefaultRepeatDelay = 300;
    static constexpr unsigned DefaultRepeatSpeed = 100;
    static constexpr unsigned DefaultDescriptionRepeatSpeed = 5;

    // Hold time before a list scroll button repeats.
    static unsigned repeatDelay() { return delay; }
    static void setRepeatDelay(unsigned milliseconds) { delay = milliseconds; }
    // Interval between repeated list steps.
    static unsigned repeatSpeed() { return speed; }
    static void setRepeatSpeed(unsigned milliseconds) { speed = milliseconds; }
    // Interval between one-unit steps of a description scroll button.
    static unsigned descriptionRepeatSpeed() { return descriptionSpeed; }
    static void setDescriptionRepeatSpeed(unsigned milliseconds)
    {
        descriptionSpeed = milliseconds;
    }

private:
    static inline unsigned delay = DefaultRepeatDelay;
    static inline unsigned speed = DefaultRepeatSpeed;
    static inline unsigned descriptionSpeed = DefaultDescriptionRepeatSpeed;
};

#endif // RECEIPTTIMING_H
