#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct cmd_ln_s;
struct ps_decoder_s;

namespace sayvo::mock {

// Continuous recognition of a 16 kHz mono int16 stream, utterance after
// utterance, so one task can yield several finals as the service does.
// Decoding is direct rather than through the product's recogniser service:
// that one ends its task at the first utterance and drops the audio queued
// behind it.
// Thread: one thread at a time.
class SphinxStream {
public:
    struct Result {
        std::string text;
        bool sentenceEnd = false;
    };

    // Null when the model cannot be loaded.
    static std::unique_ptr<SphinxStream> load();
    ~SphinxStream();
    SphinxStream(const SphinxStream&) = delete;
    SphinxStream& operator=(const SphinxStream&) = delete;

    // Forgets any utterance under way.
    void restart();
    // A changed partial text and a final at each utterance end, in order.
    std::vector<Result> feed(const std::int16_t* samples, std::size_t count);
    // Ends the stream: the final of the utterance under way, if it has words.
    std::optional<Result> finish();

private:
    struct ConfigDeleter {
        void operator()(cmd_ln_s* config) const;
    };
    struct DecoderDeleter {
        void operator()(ps_decoder_s* decoder) const;
    };

    SphinxStream() = default;
    std::string hypothesis() const;
    std::optional<Result> endUtterance();

    std::unique_ptr<cmd_ln_s, ConfigDeleter> config_;
    std::unique_ptr<ps_decoder_s, DecoderDeleter> decoder_;
    bool inUtterance_ = false;
    bool heardSpeech_ = false;
    std::string partial_;
};

}  // namespace sayvo::mock
