#!/usr/bin/env python3
"""Writes a tiny chat model for the tests that run the real llama-server.

The model is a two-layer llama of random weights with the tokenizer of one of the vocabulary files in the
llama.cpp source tree and a ChatML chat template, a few megabytes in all. Random weights alone could
ramble through a JSON string until the token limit, so every token embedding shares one large component
and the output layer turns that component into a fixed order of preference: a quote first (strings close
at once), then a closing bracket before a comma (arrays end), then "true" and "1". Greedy decoding under
a JSON schema thus reaches the end of the object in a hundred-odd tokens, whatever the prompt.

Usage: make-tiny-model.py <llama.cpp source folder> <output file>
"""

import sys
from pathlib import Path

import numpy as np

VOCABULARY = "models/ggml-vocab-llama-spm.gguf"
CHAT_TEMPLATE = (
    "{% for message in messages %}{{ message['role'] }}: {{ message['content'] }}\n{% endfor %}answer:\n"
)
EMBEDDING, HEADS, LAYERS, FEED_FORWARD = 64, 4, 2, 128
# Preference of the shared component, highest first; every other token stays far below.
PREFERRED = ['"', "]", ",", "}", "true", "1"]


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    source, output = Path(sys.argv[1]), Path(sys.argv[2])
    sys.path.insert(0, str(source / "gguf-py"))
    import gguf  # the package of the same source tree, so that the file suits its server

    vocabulary = gguf.GGUFReader(source / VOCABULARY)

    def field(name):
        return vocabulary.fields[name].contents()

    tokens = field("tokenizer.ggml.tokens")
    eos = field("tokenizer.ggml.eos_token_id")
    rng = np.random.default_rng(20260928)

    def noise(*shape):
        return (rng.standard_normal(shape) * 0.02).astype(np.float32)

    preference = np.full(len(tokens), -4.0, dtype=np.float32)
    for rank, text in enumerate(PREFERRED):
        preference[tokens.index(text)] = 8.0 - rank
    preference[eos] = 1.0  # allowed only once the object is complete

    embeddings = noise(len(tokens), EMBEDDING)
    embeddings[:, 0] = 4.0
    output_layer = noise(len(tokens), EMBEDDING)
    output_layer[:, 0] = preference

    writer = gguf.GGUFWriter(output, "llama")
    writer.add_name("nudgerly-tiny-test-model")
    writer.add_context_length(4096)
    writer.add_embedding_length(EMBEDDING)
    writer.add_block_count(LAYERS)
    writer.add_feed_forward_length(FEED_FORWARD)
    writer.add_head_count(HEADS)
    writer.add_head_count_kv(HEADS)
    writer.add_layer_norm_rms_eps(1e-5)
    writer.add_rope_dimension_count(EMBEDDING // HEADS)
    writer.add_vocab_size(len(tokens))
    writer.add_file_type(gguf.LlamaFileType.MOSTLY_F16)

    writer.add_tokenizer_model(field("tokenizer.ggml.model"))
    writer.add_tokenizer_pre(field("tokenizer.ggml.pre"))
    writer.add_token_list(tokens)
    writer.add_token_scores(field("tokenizer.ggml.scores"))
    writer.add_token_types(field("tokenizer.ggml.token_type"))
    writer.add_bos_token_id(field("tokenizer.ggml.bos_token_id"))
    writer.add_eos_token_id(eos)
    writer.add_unk_token_id(field("tokenizer.ggml.unknown_token_id"))
    writer.add_add_bos_token(True)
    writer.add_add_eos_token(False)
    writer.add_chat_template(CHAT_TEMPLATE)

    writer.add_tensor("token_embd.weight", embeddings.astype(np.float16))
    writer.add_tensor("output_norm.weight", np.ones(EMBEDDING, dtype=np.float32))
    writer.add_tensor("output.weight", output_layer.astype(np.float16))
    for layer in range(LAYERS):
        block = f"blk.{layer}."
        writer.add_tensor(block + "attn_norm.weight", np.ones(EMBEDDING, dtype=np.float32))
        for name in ("attn_q", "attn_k", "attn_v", "attn_output"):
            writer.add_tensor(block + name + ".weight", noise(EMBEDDING, EMBEDDING))
        writer.add_tensor(block + "ffn_norm.weight", np.ones(EMBEDDING, dtype=np.float32))
        writer.add_tensor(block + "ffn_gate.weight", noise(FEED_FORWARD, EMBEDDING))
        writer.add_tensor(block + "ffn_up.weight", noise(FEED_FORWARD, EMBEDDING))
        writer.add_tensor(block + "ffn_down.weight", noise(EMBEDDING, FEED_FORWARD))

    # Written aside and renamed, so that a build never sees half a model.
    partial = output.with_name(output.name + ".partial")
    writer.path = partial
    writer.write_header_to_file()
    writer.write_kv_data_to_file()
    writer.write_tensors_to_file()
    writer.close()
    partial.replace(output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
