#pragma once
// The re-projection behind Make: every output row, evenly spaced in latitude, copies the
// input row nearest to it in Mercator ordinate, or is blank where the input does not reach.
// Only rows move; their bytes are copied unchanged.

#include "bitmap/BitmapHeader.h"
#include "common/FileCommon.h"

#include <cstdint>
#include <functional>

namespace kartivo {

// Where the rows of both pictures lie. Latitudes are signed degrees.
struct RowMapping {
    double inBottomLatitude = 0;
    double inTopLatitude = 0;
    double outBottomLatitude = 0;
    double outTopLatitude = 0;
    std::int32_t inputRows = 0;   // below 2 there is no ordinate step, and every row is blank
    std::int32_t outputRows = 0;  // 0 gives no rows; 1 gives the single row at the bottom latitude
};

// The input row given for an output row that the input does not reach.
inline constexpr std::int32_t BlankRow = -1;

// ln(1 / cos r + tan r), r the latitude in radians by DegreeToRadian.
double LatitudeToMercatorY(double latitude);

enum class WalkOrder { BottomFirst, TopFirst };

// Calls visit(outputRow, inputRow) once for every output row, rows counted from the bottom of
// both pictures; inputRow is BlankRow for a blank row. The latitude of output row i is the
// bottom latitude with the step added i times, and the choice only moves up the input: a row
// whose nearest input row lies below one already reached copies the row reached. Both orders
// give the same pairs; TopFirst exists for pictures stored top row first. Returns false as
// soon as visit does, true otherwise.
bool WalkOutputRows(const RowMapping& mapping, WalkOrder order,
                    const std::function<bool(std::int32_t outputRow, std::int32_t inputRow)>& visit);

// Everything Make needs besides the two files.
struct MakeRequest {
    double inBottomLatitude = 0;
    double inTopLatitude = 0;
    double outBottomLatitude = 0;
    double outTopLatitude = 0;

    // The loaded input picture; the output keeps its header form, width and colour depth.
    HeaderForm form = HeaderForm::Windows;
    std::int32_t width = 0;
    std::int16_t bitCount = 0;
    std::int32_t compression = 0;       // Windows form only
    std::int32_t inputRows = 0;         // the number of rows, whatever the stored order
    bool inputTopDown = false;          // stored top row first (a negative height)
    std::int32_t inputPixelOffset = 0;  // the input's bfOffBits
    std::int32_t clrUsed = 0;
    std::int32_t clrImportant = 0;

    std::int32_t outputRows = 0;
    std::int32_t xPelsPerMeter = 0;  // Windows form only
    std::int32_t yPelsPerMeter = 0;
};

enum class MakeError {
    None,
    InputTooFewRows,           // fewer than 2 input rows
    NegativeOutputHeight,
    LatitudeOutOfRange,        // a latitude not finite, or at or beyond 90 degrees north or south
    CompressedInput,           // rows that are not stored raw (anything but RGB or bit fields)
    InvalidPictureSize,        // width or bit count below 1
    SizeOverflow,              // a row, image or file size beyond its 32-bit header field
    PixelOffsetInsideHeaders,  // the input's pixel data would start inside its own headers
    InputFileTooShort,         // the input ends before its last row
    InputReadFailed,
    OutputWriteFailed,
};

// The first reason Make must refuse, checked in the order of MakeError; None when it may run.
// Touches no file: the caller passes the input's size.
MakeError ValidateMakeRequest(const MakeRequest& request, std::uint64_t inputFileSize);

// Writes the output picture into a new, empty file: the header, then the input's bytes between
// its headers and its pixels (colour table, bit-field masks) unchanged, then the rows bottom
// row first. The input is read forward only, in blocks, and rows that no output row copies
// may be passed with a seek; output rows that follow each other go out in large writes.
// Memory is a block for each file and a blank row, whatever the heights. An input stored top
// row first is walked from the top output row down, so it is still read forward, and each
// output row is written at its place with a seek. Every read and write is checked; on failure
// the output holds a half picture, which the caller discards (RunMake writes into a fresh
// temporary file that only a whole picture replaces the target with). The caller closes both
// files and must check the output's close.
MakeError Resample(const MakeRequest& request, OpenFile& input, OpenFile& output);

}  // namespace kartivo
