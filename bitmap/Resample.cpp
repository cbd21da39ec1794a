#include "bitmap/Resample.h"

#include "bitmap/OutputHeader.h"
#include "bitmap/OutputLayout.h"
#include "common/DataConvert.h"
#include "common/NumberText.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

namespace kartivo {

namespace {

// Reads and writes go through blocks of about this size: large sequential transfers keep Make
// close to a plain file copy, and the size does not grow with the picture.
constexpr std::size_t BlockBytes = std::size_t{4} << 20;

using Visit = std::function<bool(std::int32_t, std::int32_t)>;

// The nearest input row for a latitude, and the output's latitude step.
class RowChooser {
public:
    explicit RowChooser(const RowMapping& m)
        : inLast_(m.inputRows - 1),
          bottomY_(LatitudeToMercatorY(m.inBottomLatitude)),
          stepY_((LatitudeToMercatorY(m.inTopLatitude) - bottomY_) / inLast_),
          // With a single output row there is no step; that row lies at the bottom latitude.
          step_(m.outputRows > 1 ? (m.outTopLatitude - m.outBottomLatitude) / (m.outputRows - 1) : 0.0) {}

    double Step() const { return step_; }

    // BlankRow when the input does not reach the latitude, or when its ordinate is not finite
    // or beyond 32 bits.
    std::int32_t InputRowAt(double latitude) const {
        const std::optional<std::int32_t> row = RoundToInt32((LatitudeToMercatorY(latitude) - bottomY_) / stepY_);
        return row && *row >= 0 && *row <= inLast_ ? *row : BlankRow;
    }

private:
    std::int32_t inLast_;
    double bottomY_;
    double stepY_;
    double step_;
};

// The input row held after choosing row: the choice never moves back down the input.
std::int32_t Hold(std::int32_t held, std::int32_t row) {
    return row == BlankRow ? held : std::max(held, row);
}

std::int32_t Copied(std::int32_t held, std::int32_t row) {
    return row == BlankRow ? BlankRow : Hold(held, row);
}

bool WalkUp(const RowChooser& chooser, double bottomLatitude, std::int32_t rows, const Visit& visit) {
    double latitude = bottomLatitude;
    std::int32_t held = 0;
    for (std::int32_t i = 0; i < rows; ++i) {
        const std::int32_t row = chooser.InputRowAt(latitude);
        if (!visit(i, Copied(held, row))) return false;
        held = Hold(held, row);
        latitude += chooser.Step();
    }
    return true;
}

// Visits rows last down to first. A row's latitude is the bottom one plus the step added once per
// row, and additions cannot be undone exactly, so the latitudes are only ever found going up.
// Halving does that without a table: step from first to the middle (noting the input row the
// upward walk would hold there), visit the upper half, then the lower half from first again.
// The depth stays below 32 and the work near rows * log2(rows) steps.
bool WalkDown(const RowChooser& chooser, double firstLatitude, std::int32_t first, std::int32_t last,
              std::int32_t heldBelow, const Visit& visit) {
    if (first == last) return visit(first, Copied(heldBelow, chooser.InputRowAt(firstLatitude)));
    const std::int32_t middle = first + (last - first) / 2 + 1;
    double latitude = firstLatitude;
    std::int32_t held = heldBelow;
    for (std::int32_t i = first; i < middle; ++i) {
        held = Hold(held, chooser.InputRowAt(latitude));
        latitude += chooser.Step();
    }
    return WalkDown(chooser, latitude, middle, last, held, visit) &&
           WalkDown(chooser, firstLatitude, first, middle - 1, heldBelow, visit);
}

bool IsUsableLatitude(double latitude) {
    return std::isfinite(latitude) && std::fabs(latitude) < 90.0;
}

bool IsRawRows(const MakeRequest& request) {
    constexpr std::int32_t Rgb = 0;
    constexpr std::int32_t Bitfields = 3;
    return request.form == HeaderForm::Os2 || request.compression == Rgb || request.compression == Bitfields;
}

OutputHeaderFields HeaderFieldsOf(const MakeRequest& request) {
    OutputHeaderFields fields;
    fields.form = request.form;
    fields.width = request.width;
    fields.height = request.outputRows;
    fields.bitCount = request.bitCount;
    fields.compression = request.compression;
    fields.xPelsPerMeter = request.xPelsPerMeter;
    fields.yPelsPerMeter = request.yPelsPerMeter;
    fields.clrUsed = request.clrUsed;
    fields.clrImportant = request.clrImportant;
    return fields;
}

RowMapping MappingOf(const MakeRequest& request) {
    return {request.inBottomLatitude, request.inTopLatitude, request.outBottomLatitude, request.outTopLatitude,
            request.inputRows, request.outputRows};
}

// The bytes between the input's headers and its pixels; only meaningful once validated.
std::uint32_t CarriedBytes(const MakeRequest& request) {
    const auto headers = static_cast<std::int64_t>(OutputHeaderLength(request.form));
    return static_cast<std::uint32_t>(std::max<std::int64_t>(0, request.inputPixelOffset - headers));
}

// Input rows by stored index, which must never decrease: a block of consecutive rows is read at
// once, and rows beyond the block that nobody asked for are passed with a seek.
class RowReader {
public:
    RowReader(OpenFile& file, std::uint64_t pixelOffset, std::size_t rowSize, std::int32_t rows)
        : file_(file), pixelOffset_(pixelOffset), rowSize_(rowSize), rows_(rows),
          block_(std::min<std::size_t>(std::max<std::size_t>(1, BlockBytes / rowSize), static_cast<std::size_t>(rows)) *
                 rowSize) {}

    bool Holds(std::int32_t stored) const { return stored >= first_ && stored < first_ + count_; }

    // The row's bytes stay valid until a row the block does not hold is asked for.
    std::optional<std::span<const std::uint8_t>> Row(std::int32_t stored) {
        if (!Holds(stored)) {
            const std::uint64_t position = pixelOffset_ + static_cast<std::uint64_t>(stored) * rowSize_;
            if (position != filePosition_ && !file_.Seek(position)) return std::nullopt;
            const auto capacity = static_cast<std::int32_t>(block_.size() / rowSize_);
            const std::int32_t count = std::min(capacity, rows_ - stored);
            const std::size_t bytes = static_cast<std::size_t>(count) * rowSize_;
            if (!file_.Read(std::span(block_).first(bytes))) return std::nullopt;
            first_ = stored;
            count_ = count;
            filePosition_ = position + bytes;
        }
        return std::span<const std::uint8_t>(block_).subspan(static_cast<std::size_t>(stored - first_) * rowSize_,
                                                              rowSize_);
    }

private:
    OpenFile& file_;
    std::uint64_t pixelOffset_;
    std::size_t rowSize_;
    std::int32_t rows_;
    std::vector<std::uint8_t> block_;
    std::int32_t first_ = 0;
    std::int32_t count_ = 0;
    std::uint64_t filePosition_ = 0;  // 0 lies inside the headers, so the first read always seeks
};

// Output rows, each written where it belongs. Rows that follow each other in the file are sent
// in one write: a run of rows that also follow each other in memory (consecutive input rows of
// the reader's block) goes out straight from there, other rows are gathered in a block of the
// writer's own, upwards or downwards. The pending bytes may be the caller's, so flush before
// that memory changes (RowCopier does this for the reader's block).
class RowWriter {
public:
    RowWriter(OpenFile& file, std::uint64_t rowsStart, std::uint64_t position, std::size_t rowSize,
              std::int32_t rows)
        : file_(file), rowsStart_(rowsStart), rowSize_(rowSize), filePosition_(position),
          // Rows of more than half a block gain nothing from gathering and get no block at all.
          block_(std::min(BlockBytes / rowSize, static_cast<std::size_t>(rows)) * rowSize) {}

    bool Put(std::int32_t row, std::span<const std::uint8_t> bytes) {
        const std::uint64_t position = rowsStart_ + static_cast<std::uint64_t>(row) * rowSize_;
        if (!pending_.empty() && pendingPosition_ + pending_.size() == position) {
            if (pending_.data() + pending_.size() == bytes.data()) {
                pending_ = std::span(pending_.data(), pending_.size() + bytes.size());
                return true;
            }
            if (Append(bytes)) return true;
        }
        if (!pending_.empty() && position + bytes.size() == pendingPosition_ && Prepend(bytes)) {
            pendingPosition_ = position;
            return true;
        }
        if (!Flush()) return false;
        pending_ = bytes;
        pendingPosition_ = position;
        return true;
    }

    bool Flush() {
        if (pending_.empty()) return true;
        const bool written = (pendingPosition_ == filePosition_ || file_.Seek(pendingPosition_)) &&
                             file_.Write(pending_);
        filePosition_ = pendingPosition_ + pending_.size();
        pending_ = {};
        return written;
    }

private:
    // Going up, the pending bytes sit at the front of the block and new ones follow them.
    bool Append(std::span<const std::uint8_t> bytes) {
        const std::size_t size = pending_.size() + bytes.size();
        if (size > block_.size()) return false;
        if (pending_.data() != block_.data()) std::copy(pending_.begin(), pending_.end(), block_.begin());
        std::copy(bytes.begin(), bytes.end(), block_.begin() + static_cast<std::ptrdiff_t>(pending_.size()));
        pending_ = std::span(block_).first(size);
        return true;
    }

    // Going down, they sit at its back and new ones go in front of them.
    bool Prepend(std::span<const std::uint8_t> bytes) {
        const std::size_t size = pending_.size() + bytes.size();
        if (size > block_.size()) return false;
        const std::span<std::uint8_t> back = std::span(block_).last(size);
        if (pending_.data() != back.data() + bytes.size()) {
            std::copy(pending_.begin(), pending_.end(), back.begin() + static_cast<std::ptrdiff_t>(bytes.size()));
        }
        std::copy(bytes.begin(), bytes.end(), back.begin());
        pending_ = back;
        return true;
    }

    OpenFile& file_;
    std::uint64_t rowsStart_;
    std::size_t rowSize_;
    std::uint64_t filePosition_;
    std::vector<std::uint8_t> block_;
    std::span<const std::uint8_t> pending_;
    std::uint64_t pendingPosition_ = 0;
};

// The writer's pending bytes may point into the reader's block, so the two live only together
// here, and the one way to move the reader on flushes the writer first.
class RowCopier {
public:
    RowCopier(OpenFile& input, std::uint64_t pixelOffset, std::int32_t inputRows, OpenFile& output,
              std::uint64_t rowsStart, std::int32_t outputRows, std::size_t rowSize)
        : reader_(input, pixelOffset, rowSize, inputRows),
          writer_(output, rowsStart, rowsStart, rowSize, outputRows),
          blank_(rowSize, 0) {}

    // Output row outputRow gets stored input row stored, or zeros for BlankRow.
    MakeError Copy(std::int32_t outputRow, std::int32_t stored) {
        std::span<const std::uint8_t> bytes = blank_;
        if (stored != BlankRow) {
            if (!reader_.Holds(stored) && !writer_.Flush()) return MakeError::OutputWriteFailed;
            const auto row = reader_.Row(stored);
            if (!row) return MakeError::InputReadFailed;
            bytes = *row;
        }
        return writer_.Put(outputRow, bytes) ? MakeError::None : MakeError::OutputWriteFailed;
    }

    bool Flush() { return writer_.Flush(); }

private:
    RowReader reader_;
    RowWriter writer_;
    const std::vector<std::uint8_t> blank_;
};

MakeError CopyBytes(OpenFile& input, std::uint64_t from, std::uint32_t count, OpenFile& output) {
    if (count == 0) return MakeError::None;
    if (!input.Seek(from)) return MakeError::InputReadFailed;
    std::vector<std::uint8_t> buffer(std::min<std::size_t>(count, BlockBytes));
    for (std::size_t left = count; left > 0;) {
        const auto part = std::span(buffer).first(std::min(left, buffer.size()));
        if (!input.Read(part)) return MakeError::InputReadFailed;
        if (!output.Write(part)) return MakeError::OutputWriteFailed;
        left -= part.size();
    }
    return MakeError::None;
}

MakeError WriteOutput(const MakeRequest& request, OpenFile& input, OpenFile& output) {
    const auto rowSize = static_cast<std::size_t>(*RowSize(request.width, request.bitCount));
    const std::uint32_t carried = CarriedBytes(request);
    const std::vector<std::uint8_t> header = *BuildOutputHeader(HeaderFieldsOf(request), carried);

    if (!output.Seek(0) || !output.Write(header)) return MakeError::OutputWriteFailed;
    if (const MakeError error = CopyBytes(input, header.size(), carried, output); error != MakeError::None) {
        return error;
    }

    const bool topDown = request.inputTopDown;
    const std::int32_t inLast = request.inputRows - 1;
    const std::uint64_t rowsStart = header.size() + std::uint64_t{carried};
    RowCopier rows(input, static_cast<std::uint64_t>(request.inputPixelOffset), request.inputRows, output, rowsStart,
                   request.outputRows, rowSize);
    MakeError error = MakeError::None;
    // Geographic input row k is stored row k, or row inLast - k when stored top row first; walking
    // the output from the top then meets the stored rows in file order.
    WalkOutputRows(MappingOf(request), topDown ? WalkOrder::TopFirst : WalkOrder::BottomFirst,
                   [&](std::int32_t outputRow, std::int32_t inputRow) {
                       const std::int32_t stored =
                           inputRow == BlankRow ? BlankRow : (topDown ? inLast - inputRow : inputRow);
                       error = rows.Copy(outputRow, stored);
                       return error == MakeError::None;
                   });
    if (error != MakeError::None) return error;
    return rows.Flush() ? MakeError::None : MakeError::OutputWriteFailed;
}

}  // namespace

double LatitudeToMercatorY(double latitude) {
    const double r = DegreeToRadian(latitude);
    return std::log(1.0 / std::cos(r) + std::tan(r));
}

bool WalkOutputRows(const RowMapping& mapping, WalkOrder order, const Visit& visit) {
    if (mapping.outputRows <= 0) return true;
    if (mapping.inputRows < 2) {
        // No ordinate step between input rows: nothing can be matched.
        for (std::int32_t i = 0; i < mapping.outputRows; ++i) {
            const std::int32_t row = order == WalkOrder::BottomFirst ? i : mapping.outputRows - 1 - i;
            if (!visit(row, BlankRow)) return false;
        }
        return true;
    }
    const RowChooser chooser(mapping);
    if (order == WalkOrder::BottomFirst) return WalkUp(chooser, mapping.outBottomLatitude, mapping.outputRows, visit);
    return WalkDown(chooser, mapping.outBottomLatitude, 0, mapping.outputRows - 1, 0, visit);
}

MakeError ValidateMakeRequest(const MakeRequest& request, std::uint64_t inputFileSize) {
    if (request.inputRows < 2) return MakeError::InputTooFewRows;
    if (request.outputRows < 0) return MakeError::NegativeOutputHeight;
    for (const double latitude : {request.inBottomLatitude, request.inTopLatitude, request.outBottomLatitude,
                                  request.outTopLatitude}) {
        if (!IsUsableLatitude(latitude)) return MakeError::LatitudeOutOfRange;
    }
    if (!IsRawRows(request)) return MakeError::CompressedInput;
    if (request.width < 1 || request.bitCount < 1) return MakeError::InvalidPictureSize;

    const std::optional<std::int32_t> rowSize = RowSize(request.width, request.bitCount);
    if (!rowSize || !BuildOutputHeader(HeaderFieldsOf(request), CarriedBytes(request))) {
        return MakeError::SizeOverflow;
    }
    if (request.inputPixelOffset < static_cast<std::int64_t>(OutputHeaderLength(request.form))) {
        return MakeError::PixelOffsetInsideHeaders;
    }
    // Both factors fit 32 bits, so neither the product nor the sum can overflow 64.
    const std::int64_t inputEnd = std::int64_t{request.inputPixelOffset} + std::int64_t{*rowSize} * request.inputRows;
    if (inputFileSize < static_cast<std::uint64_t>(inputEnd)) return MakeError::InputFileTooShort;
    return MakeError::None;
}

MakeError Resample(const MakeRequest& request, OpenFile& input, OpenFile& output) {
    const std::optional<std::uint64_t> inputSize = input.Size();
    if (!inputSize) return MakeError::InputReadFailed;
    if (const MakeError error = ValidateMakeRequest(request, *inputSize); error != MakeError::None) return error;
    return WriteOutput(request, input, output);
}

}  // namespace kartivo
