#pragma once

#include "reading/TraceColumns.h"
#include "reading/ViewWindow.h"

#include <QColor>
#include <QRect>

#include <QString>

#include <array>
#include <optional>
#include <string>
#include <vector>

class QImage;
class QPainter;

namespace svglogger {

// What a picture of recorded rows shows besides the traces.
struct PlotOptions {
    std::array<bool, recordColumn::kQuantityColumns> hidden{}; // per quantity of kQuantities
    bool statusHidden = false;
    std::vector<double> marks;     // trigger replay: the times a run would have fired
    std::vector<std::pair<double, double>> shaded; // capture files' pre-trigger rows
    bool overview = true;          // the strip of the whole timeline below
    std::optional<double> pointer; // the time under the mouse: a thin line
    std::string source;            // pictures: the folder or files shown, titled with the range
    std::string caption;           // pictures: lines under the title (the figures between the cursors)
};

// Draws the traces in lanes by unit (V; kW and kVar; A; the status word as a lane of its
// bits), each pixel column the exact extremes of its rows, gaps left open, interval files'
// min-max as a band under the average; the time axis, the cursors A and B, the trigger
// marks and the overview strip. The same drawing for the window, PNG and (through its
// shapes) SVG.
class PlotPainter
{
public:
    // A lane: its quantities (indices of kQuantities) and, for the status lane, none.
    struct Lane {
        QString unit;
        std::vector<int> quantities;
        bool status = false;
        QRect area;
        double low = 0.0, high = 1.0; // the values at its bottom and top
        // Per quantity, its value, maximum and minimum columns' extremes per pixel column
        // (empty where the files lack the column): worked out once for the scale and the drawing.
        std::vector<std::array<std::vector<MinMaxPyramid::Range>, 3>> ranges;
    };

    PlotPainter(TraceColumns &columns, const ViewWindow &window, const PlotOptions &options);

    // The lanes and the plot's area within `size` (margins for the labels, the overview).
    void layout(const QSize &size);
    // After layout: the smallest picture whose title, legends and scales (four values a lane)
    // can be read.
    QSize smallestReadableSize() const;
    // `image`, when given, is what `painter` paints on (32-bit, untransformed): the traces'
    // spans are then written into its pixels directly, the fastest way to fill thousands.
    void paint(QPainter &painter, QImage *image = nullptr);
    // The thin line at the pointer, at column x of `plot`.
    static void paintPointer(QPainter &painter, const QRect &plot, int x);
    // The inputs as a title names them: each by its path, or files of one folder (a day's
    // hourly files picked together) as that folder and their count.
    static std::string sourceOf(const QStringList &inputs);

    // Lays the plot out at `size` and writes it to `path` as SVG or PNG; false when the file
    // cannot be written.
    enum class Picture { Png, Jpeg, Svg };
    // The format a picture's file name asks for by its extension (.png, .jpg or .jpeg, .svg);
    // none for any other name.
    static std::optional<Picture> pictureFormatOf(const QString &path);
    bool writePicture(const QSize &size, const QString &path, Picture kind);
    // The plot as it is laid out, as an SVG document of `size` (Qt SVG's generator).
    QByteArray svg(const QSize &size);

    const QRect &plotArea() const { return m_plot; }
    const QRect &overviewArea() const { return m_overview; }
    const std::vector<Lane> &lanes() const { return m_lanes; }
    double timeAt(int x) const;
    int xOf(double time) const;
    int yOf(const Lane &lane, double value) const;

    static QColor colourOf(int quantity);

private:
    void paintLane(QPainter &painter, const Lane &lane, QImage *image);
    void paintStatusLane(QPainter &painter, const Lane &lane);
    void paintTimeAxis(QPainter &painter);
    void paintOverview(QPainter &painter);
    void paintMarks(QPainter &painter);
    int captionLines() const;

    TraceColumns &m_columns;
    const ViewWindow &m_window;
    const PlotOptions &m_options;
    std::vector<Lane> m_lanes;
    QRect m_plot, m_overview;
    QSize m_size;
};

} // namespace svglogger
