#pragma once

// The wire protocols in which the agents call the relay's models.
enum class WireProtocol {
    responses, // POST /v1/responses (Codex)
    messages, // POST /v1/messages (Claude Code)
    generateContent, // POST /v1beta/models/<model>:generateContent (Gemini CLI)
    chatCompletions, // POST /v1/chat/completions (Kimi Code, OpenCode, Crush)
};
