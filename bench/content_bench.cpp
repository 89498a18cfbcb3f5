// Letter parsing cost as letters grow: a big letter against one of half its size, many small
// parts against half as many, and parsing plus decoding against plain base64 decoding.
//
// Run from a Release build:
//   build/release/bench/content_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "content/letter_node.h"
#include "content/mail_codec.h"
#include "content/mime_walk.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

constexpr size_t kMB = 1 << 20;

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string out(n, '\0');
    for (char& c : out) c = static_cast<char>(gen());
    return out;
}

std::string QuotedPrintableText(size_t n) {
    std::string out;
    out.reserve(n + 100);
    while (out.size() < n)
        out += "Dear team, the figures for =C3=A9t=C3=A9 are attached as =\r\nplanned.\r\n";
    return out;
}

struct Letter {
    std::string text;
    std::string base64;  // every attachment body, for the plain decoding baseline
};

const char* kHeader =
    "Received: from relay.example.net (relay [10.0.0.1]) by mx.example.org; "
    "Tue, 6 Jan 2004 09:05:33 +0800\r\n"
    "From: \"Sender Name\" <sender@example.net>\r\nTo: someone@example.org\r\n"
    "Subject: =?utf-8?B?UXVhcnRlcmx5IHJlcG9ydA==?=\r\nDate: Tue, 6 Jan 2004 09:05:33 +0800\r\n"
    "MIME-Version: 1.0\r\n";

// A text part of a tenth of the size and base64 attachments of about 2 MB each.
Letter BigLetter(size_t size) {
    Letter l;
    l.text = kHeader;
    l.text += "Content-Type: multipart/mixed; boundary=\"==outer==\"\r\n\r\n";
    l.text +=
        "--==outer==\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    l.text += QuotedPrintableText(size / 10);
    unsigned seed = 1;
    while (l.text.size() < size) {
        const std::string encoded = CMailCodec::EncodeBase64(RandomBytes(3 * kMB / 2, seed));
        l.text += "\r\n--==outer==\r\nContent-Type: application/octet-stream; name=\"data" +
                  std::to_string(seed) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n" +
                  "Content-Disposition: attachment; filename=\"data" + std::to_string(seed) +
                  ".bin\"\r\n\r\n";
        l.text += encoded;
        l.base64 += encoded;
        ++seed;
    }
    l.text += "\r\n--==outer==--\r\n";
    return l;
}

// `parts` small parts: text and attachments in turn.
std::string ManyParts(int parts) {
    std::string text = kHeader;
    text += "Content-Type: multipart/mixed; boundary=b1\r\n\r\n";
    for (int i = 0; i < parts; ++i) {
        if (i % 2 == 0) {
            text +=
                "--b1\r\nContent-Type: text/plain\r\n\r\nshort note " + std::to_string(i) + "\r\n";
        } else {
            text += "--b1\r\nContent-Type: image/png; name=p" + std::to_string(i) +
                    ".png\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: "
                    "attachment; filename=p" +
                    std::to_string(i) + ".png\r\n\r\niVBORw0KGgoAAAANSUhEUgAAAAEAAAAB\r\n";
        }
    }
    text += "--b1--\r\n";
    return text;
}

// A stored letter holding `raw`, as the receive step leaves it.
struct StoredLetter {
    std::unique_ptr<baseDataStruct> root = CreateRootNode();
    baseDataStruct* letter = nullptr;
    explicit StoredLetter(const std::string& raw) {
        letter = AddSonText(root.get(), "type =letter ,mailLong =1 ,read =0");
        setinfo(letter, kThisNode, "SDATA", raw);
    }
};

// What a letter costs: the walk with its text decoding, then the list columns.
int ParseLetter(const StoredLetter& stored) {
    const std::string_view raw = getdata(stored.letter, "SDATA").value_or("");
    baseDataStruct view;
    mailProcess(raw, &view, true);
    int sons = 0;
    for (baseDataStruct* s = view.firstSon(); s; s = s->nextBrother()) ++sons;
    mailInitProperty(stored.letter, nullptr);
    benchmark::DoNotOptimize(getinfo(stored.letter, kThisNode, "ColumnData"));
    return sons;
}

void BM_BigLetter(benchmark::State& state) {
    const Letter l = BigLetter(static_cast<size_t>(state.range(0)) * kMB);
    const StoredLetter stored(l.text);
    int sons = 0;
    for (auto _ : state) sons = ParseLetter(stored);
    state.counters["parts"] = sons;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * l.text.size()));
}
BENCHMARK(BM_BigLetter)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);

void BM_ManyParts(benchmark::State& state) {
    const StoredLetter stored(ManyParts(static_cast<int>(state.range(0))));
    int sons = 0;
    for (auto _ : state) sons = ParseLetter(stored);
    state.counters["parts"] = sons;
}
BENCHMARK(BM_ManyParts)->Arg(1000)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

// Parsing and decoding every part of the 20 MB letter, counted in base64 bytes.
void BM_ParseAndDecode20MB(benchmark::State& state) {
    const Letter l = BigLetter(20 * kMB);
    const CMailCodec& codec = DefaultMailCodec();
    for (auto _ : state) {
        auto root = CreateRootNode();
        mailProcess(l.text, root.get(), true);
        for (baseDataStruct* son = root->firstSon(); son; son = son->nextBrother()) {
            if (getinfo(son, kThisNode, "type") != "attachment") continue;
            std::string_view part = getdata(son, "SDATA").value_or("");
            part.remove_prefix(std::min(part.size(), part.find("\r\n\r\n") + 4));
            std::string out;
            codec.DecodeContent(part, getinfo(son, kThisNode, "transferEncoding"), out);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * l.base64.size()));
}
BENCHMARK(BM_ParseAndDecode20MB)->Unit(benchmark::kMillisecond);

void BM_PlainBase64Of20MB(benchmark::State& state) {
    const Letter l = BigLetter(20 * kMB);
    for (auto _ : state) {
        std::string out;
        CMailCodec::DecodeBase64(l.base64, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * l.base64.size()));
}
BENCHMARK(BM_PlainBase64Of20MB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvo

BENCHMARK_MAIN();
