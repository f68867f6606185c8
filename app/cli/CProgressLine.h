#pragma once
// One progress display on standard error: on a terminal a single line redrawn in place at most
// a few times a second, otherwise a plain line every few seconds.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
    /// Columns left for the text behind the title and the bar on this display (a terminal's
    /// width, else 80).
    size_t TextColumns() const;
    /// Joins `pieces` with blanks in their order, leaving out the least important ones (the
    /// highest rank) until the line fits `columns`.
    static std::string Fit(const std::vector<std::pair<int, std::string>>& pieces, size_t columns);

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
