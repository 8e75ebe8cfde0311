#pragma once

#include "FleetText.h"

// The fleet on a terminal: at the bottom a screen of a header with the counts, those that need a
// person first, and a live line for each active instrument, as many as fit; above it each ended
// instrument once, in the order they end, and the notes. Every line fits the terminal's width.
//
// The cursor rests at the start of the screen's first line between frames: a terminal made smaller
// then drops the screen's lower lines rather than pushing its upper ones into the scrollback, and
// the next frame, drawn from there down, leaves nothing of the old one.
class FleetScreen final : public FleetText
{
public:
    using FleetText::FleetText;

    void begin(const QString &logFolder) override;
    void event(const InstrumentStatus &instrument, const QJsonObject &event) override;
    void refresh() override;
    void resized() override;
    void passOn(const QString &line) override;
    bool passesOnAbove() const override;
    void summary(const QJsonObject &summary) override;

private:
    int width() const override;
    void say(const QStringList &lines) override;
    // The header and the live lines that fit in rows.
    QStringList screen(int columns, int rows) const;
    QString header(int width) const;
    QString liveLine(const InstrumentStatus &instrument, int width) const;
    void draw(bool whole);

    // The lines to print above the screen, and the screen as drawn last.
    QStringList mAbove;
    QStringList mDrawn;
    bool mBegun = false;
};
