#pragma once
// One progress display on standard error: on a terminal a single line redrawn in place at most
// a few times a second, otherwise a plain line every few seconds.
#include <cstdint>
#include <string>

class CProgressLine
{
public:
    explicit CProgressLine(std::string title);
    ~CProgressLine();
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    /// The bar's fraction (0..1, negative for none) and the text behind it. Drawn only when
    /// the last drawing is old enough, or when `force` is set.
    void Update(double fraction, const std::string& text, bool force = false);
    /// Clears a terminal line so that other output can follow.
    void Clear();
    /// Ends the display: the last state stays on the screen as one finished line.
    void Finish();

    /// "[#####.....]" of `width` cells.
    static std::string Bar(double fraction, int width);

private:
    void Draw();

    std::string m_strTitle;
    std::string m_strText;
    double m_dFraction = -1;
    bool m_bTerminal;
    bool m_bDrawn = false;
    bool m_bDirty = false;
    uint64_t m_u64LastMs = 0;
};
