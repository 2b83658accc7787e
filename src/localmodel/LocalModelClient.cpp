#include "localmodel/LocalModelClient.h"

#include <utility>

#include "core/CancelledError.h"
#include "localmodel/LocalChatRequest.h"
#include "localmodel/LocalChatResponse.h"
#include "localmodel/LocalModelError.h"
#include "localmodel/LocalModelHTTPResponsePolicy.h"
#include "localmodel/LocalModelPromptPolicy.h"
#include "platform/net/HttpClient.h"

namespace nudgerly {
namespace {

using Kind = LocalModelError::Kind;

bool isRestartable(Kind kind) {
    return kind == Kind::launchFailed || kind == Kind::startupTimedOut || kind == Kind::serverUnavailable;
}

}  // namespace

LocalModelClient::LocalModelClient(ModelPack modelPack, LocalModelClientSettings settings)
    : settings_(settings), supervisor_(std::move(modelPack), std::move(settings)) {}

Classification LocalModelClient::complete(const std::string& prompt, const OwnedServer& server, std::stop_token stop) {
    if (!supervisor_.isOwnedAndRunning(server)) {
        throw LocalModelError(Kind::serverUnavailable);
    }
    const HttpRequest request{
        .method = "POST",
        .url = server.baseURL() + "/v1/chat/completions",
        .headers = {{"Authorization", server.bearer()}, {"Content-Type", "application/json"}},
        .body = LocalChatRequest(prompt).body(),
        .timeout = settings_.requestTimeout,
        .maxResponseBytes = settings_.maxResponseBytes,
    };
    HttpResponse response;
    bool tooLarge = false;
    try {
        response = settings_.http->send(request, stop);
    } catch (const CancelledError&) {
        throw CancelledError();
    } catch (const HttpError& error) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        if (error.kind() != HttpError::Kind::responseTooLarge) {
            // A busy computer makes an answer slow, not the server dead: one that still passes its
            // health check keeps running, and only this conversation goes without the model.
            if (supervisor_.healthy(server, stop, settings_.failedRequestHealthCheckTimeout)) {
                throw LocalModelError(Kind::answerMissing);
            }
            if (stop.stop_requested()) {
                throw CancelledError();
            }
            throw LocalModelError(Kind::serverUnavailable);
        }
        tooLarge = true;
    }
    if (!supervisor_.isOwnedAndRunning(server)) {
        throw LocalModelError(Kind::serverUnavailable);
    }
    if (tooLarge) {
        throw LocalModelError(Kind::badResponse);
    }
    // llama-server also answers 500 when it cannot parse what the model wrote; a server that still
    // passes its health check is alive, and the fault is this answer's alone.
    if (response.status == 500 && supervisor_.healthy(server, stop, settings_.failedRequestHealthCheckTimeout)) {
        throw LocalModelError(Kind::badResponse);
    }
    if (response.status != 200) {
        throw LocalModelHTTPResponsePolicy::error(static_cast<int>(response.status), response.body);
    }
    return LocalChatResponse::classification(response.body);
}

Classification LocalModelClient::classifyOnce(const Conversation& conversation, std::stop_token stop) {
    const OwnedServer server = ensureStarted(stop);
    const std::string prompt = LocalModelPromptPolicy::classificationPrompt(conversation, false);
    try {
        return complete(prompt, server, stop);
    } catch (const LocalModelError& error) {
        if (error.kind() != Kind::contextTooLarge && error.kind() != Kind::badResponse) {
            throw;
        }
    }
    return complete(LocalModelPromptPolicy::classificationPrompt(conversation, true), server, stop);
}

Classification LocalModelClient::latestTurnOnce(const Conversation& conversation, std::stop_token stop) {
    const OwnedServer server = ensureStarted(stop);
    return complete(LocalModelPromptPolicy::latestTurnPrompt(conversation), server, stop);
}

template <typename Pass>
Classification LocalModelClient::withOneRestart(Pass pass, std::stop_token stop) {
    try {
        return pass();
    } catch (const LocalModelError& error) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        if (!isRestartable(error.kind())) {
            throw;
        }
    } catch (...) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        throw;
    }
    // A failed launch, start-up or exchange: one fresh server, one more pass.
    shutdown();
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    return pass();
}

Classification LocalModelClient::classify(const Conversation& conversation, std::stop_token stop) {
    return withOneRestart([&] { return classifyOnce(conversation, stop); }, stop);
}

Classification LocalModelClient::classifyLatestTurn(const Conversation& conversation, std::stop_token stop) {
    return withOneRestart([&] { return latestTurnOnce(conversation, stop); }, stop);
}

Classification LocalModelClient::retryInvalidClassification(const Conversation& conversation, std::stop_token stop) {
    const OwnedServer server = ensureStarted(stop);
    return complete(LocalModelPromptPolicy::classificationPrompt(conversation, true), server, stop);
}

Classification LocalModelClient::retryInvalidLatestTurnClassification(const Conversation& conversation,
                                                                      std::stop_token stop) {
    return latestTurnOnce(conversation, stop);
}

}  // namespace nudgerly
