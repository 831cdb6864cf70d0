#include "SphinxStream.h"

#include <pocketsphinx.h>

#include <algorithm>

namespace sayvo::mock {

namespace {
const std::string modelDirectory = "/usr/share/pocketsphinx/model/en-us/";
// The utterance state is looked at every tenth of a second, so an utterance
// end is not hidden inside a large chunk.
constexpr std::size_t pieceSamples = 1600;
}  // namespace

void SphinxStream::ConfigDeleter::operator()(cmd_ln_s* config) const {
    cmd_ln_free_r(config);
}

void SphinxStream::DecoderDeleter::operator()(ps_decoder_s* decoder) const {
    ps_free(decoder);
}

std::unique_ptr<SphinxStream> SphinxStream::load() {
    std::unique_ptr<SphinxStream> stream(new SphinxStream);
    const std::string hmm = modelDirectory + "en-us";
    const std::string lm = modelDirectory + "en-us.lm.bin";
    const std::string dict = modelDirectory + "cmudict-en-us.dict";
    stream->config_.reset(cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.c_str(), "-lm",
                                      lm.c_str(), "-dict", dict.c_str(), "-logfn", "/dev/null",
                                      static_cast<const char*>(nullptr)));
    if (!stream->config_) return nullptr;
    stream->decoder_.reset(ps_init(stream->config_.get()));
    if (!stream->decoder_) return nullptr;
    return stream;
}

SphinxStream::~SphinxStream() {
    if (inUtterance_) ps_end_utt(decoder_.get());
}

void SphinxStream::restart() {
    if (inUtterance_) ps_end_utt(decoder_.get());
    inUtterance_ = false;
    heardSpeech_ = false;
    partial_.clear();
}

std::string SphinxStream::hypothesis() const {
    const char* text = ps_get_hyp(decoder_.get(), nullptr);
    return text ? text : "";
}

std::optional<SphinxStream::Result> SphinxStream::endUtterance() {
    if (!inUtterance_) return std::nullopt;
    ps_end_utt(decoder_.get());
    inUtterance_ = false;
    heardSpeech_ = false;
    partial_.clear();
    std::string text = hypothesis();
    if (text.empty()) return std::nullopt;
    return Result{std::move(text), true};
}

std::vector<SphinxStream::Result> SphinxStream::feed(const std::int16_t* samples,
                                                     std::size_t count) {
    std::vector<Result> results;
    for (std::size_t at = 0; at < count; at += pieceSamples) {
        if (!inUtterance_) {
            if (ps_start_utt(decoder_.get()) < 0) return results;
            inUtterance_ = true;
        }
        const std::size_t n = std::min(pieceSamples, count - at);
        ps_process_raw(decoder_.get(), samples + at, n, FALSE, FALSE);
        if (ps_get_in_speech(decoder_.get())) {
            heardSpeech_ = true;
        } else if (heardSpeech_) {
            if (auto final = endUtterance()) results.push_back(std::move(*final));
        }
    }
    if (heardSpeech_) {
        std::string text = hypothesis();
        if (!text.empty() && text != partial_) {
            partial_ = text;
            results.push_back({std::move(text), false});
        }
    }
    return results;
}

std::optional<SphinxStream::Result> SphinxStream::finish() {
    return endUtterance();
}

}  // namespace sayvo::mock
