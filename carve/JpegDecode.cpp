#include "carve/JpegDecode.h"

#include <algorithm>
#include <csetjmp>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace rekkon {
namespace {

constexpr std::size_t kChunk = 16 * 1024;
constexpr long kMaxDecoderMemory = 256L * 1024 * 1024;

// Everything the decoder's callbacks reach; plain data, as they leave by longjmp.
struct Session {
    jpeg_error_mgr err;
    jpeg_source_mgr src;
    std::jmp_buf jump;
    CarveInput* input;
    std::uint64_t length;
    std::uint64_t handed;  // bytes given to the decoder so far
    std::uint8_t* chunk;
    int code;  // the message that ended decoding
    char message[JMSG_LENGTH_MAX];
    bool broken;
    std::uint64_t at;
};

Session* sessionOf(j_common_ptr cinfo) {
    return static_cast<Session*>(cinfo->client_data);
}

void stopAt(j_common_ptr cinfo, bool broken) {
    Session* s = sessionOf(cinfo);
    s->code = cinfo->err->msg_code;
    s->broken = broken;
    cinfo->err->format_message(cinfo, s->message);
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    s->at = s->handed - std::min<std::uint64_t>(s->handed, d->src ? d->src->bytes_in_buffer : 0);
    std::longjmp(s->jump, 1);
}

bool isFault(int code) {
    switch (code) {
        case JERR_BAD_PRECISION:
        case JERR_NO_BACKING_STORE:
        case JERR_OUT_OF_MEMORY:
        case JERR_NOT_COMPILED:
        case JERR_NOTIMPL:
        case JERR_ARITH_NOTIMPL:
        case JERR_SOF_UNSUPPORTED:
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_FRACT_SAMPLE_NOTIMPL:
        case JERR_CCIR601_NOTIMPL:
            return false;
        default:
            return true;
    }
}

void onError(j_common_ptr cinfo) {
    stopAt(cinfo, isFault(cinfo->err->msg_code));
}

// Warnings about corrupt data end decoding where they are met; the rest are harmless.
void onMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    switch (cinfo->err->msg_code) {
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_EXTRANEOUS_DATA:
        case JWRN_JPEG_EOF:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
            stopAt(cinfo, true);
            break;
        default:
            break;
    }
}

void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo) {
    Session* s = sessionOf(reinterpret_cast<j_common_ptr>(cinfo));
    std::size_t n = 0;
    if (s->handed < s->length) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, s->length - s->handed));
        n = s->input->read(s->handed, std::span(s->chunk, want));
    }
    if (n == 0) {
        s->code = JWRN_JPEG_EOF;
        s->broken = true;
        s->at = s->handed;
        std::longjmp(s->jump, 1);
    }
    s->handed += n;
    cinfo->src->next_input_byte = s->chunk;
    cinfo->src->bytes_in_buffer = n;
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long bytes) {
    while (bytes > 0) {
        if (cinfo->src->bytes_in_buffer == 0) fillInput(cinfo);
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(bytes), cinfo->src->bytes_in_buffer);
        cinfo->src->next_input_byte += n;
        cinfo->src->bytes_in_buffer -= n;
        bytes -= static_cast<long>(n);
    }
}

void termSource(j_decompress_ptr) {}

// Runs the decoder; true when it got through every scan. Holds nothing a longjmp would leak.
bool run(Session& s, jpeg_decompress_struct& cinfo, JSAMPLE* row, std::size_t rowBytes) {
    if (setjmp(s.jump) != 0) return false;
    jpeg_create_decompress(&cinfo);
    cinfo.client_data = &s;
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    cinfo.src = &s.src;
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.do_block_smoothing = FALSE;
    cinfo.buffered_image = FALSE;
    cinfo.out_color_space = cinfo.num_components == 3 ? JCS_GRAYSCALE : cinfo.out_color_space;
    jpeg_calc_output_dimensions(&cinfo);
    if (static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components > rowBytes) {
        s.code = JERR_WIDTH_OVERFLOW;
        s.broken = false;
        return false;
    }
    jpeg_start_decompress(&cinfo);
    JSAMPROW rows[1] = {row};
    while (cinfo.output_scanline < cinfo.output_height)
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) return false;
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

JpegDecodeResult decodeJpeg(CarveInput& input, std::uint64_t length) {
    std::vector<std::uint8_t> chunk(kChunk);
    // At 1/8 scale a row is at most 65535 / 8 samples of up to 4 components.
    std::vector<JSAMPLE> row(8192 * 4 + 64);
    Session s{};
    s.input = &input;
    s.length = std::min(length, input.limit());
    s.chunk = chunk.data();
    jpeg_decompress_struct cinfo{};
    cinfo.err = jpeg_std_error(&s.err);
    cinfo.client_data = &s;
    s.err.error_exit = onError;
    s.err.emit_message = onMessage;
    s.src.init_source = initSource;
    s.src.fill_input_buffer = fillInput;
    s.src.skip_input_data = skipInput;
    s.src.resync_to_restart = jpeg_resync_to_restart;
    s.src.term_source = termSource;
    const bool decoded = run(s, cinfo, row.data(), row.size());
    jpeg_destroy_decompress(&cinfo);

    JpegDecodeResult r;
    if (decoded) {
        r.outcome = JpegDecodeResult::Outcome::Decoded;
    } else if (s.broken) {
        r.outcome = JpegDecodeResult::Outcome::Broken;
        r.brokenAt = s.at;
        r.problem = "the image data stops decoding at " + std::to_string(s.at);
        if (s.message[0] != '\0') r.problem += std::string(" (") + s.message + ")";
    }
    return r;
}

}  // namespace rekkon
