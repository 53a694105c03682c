// The window backend: shows the runtime's 640 x 432 frame in an SDL window
// scaled by whole pixels, and turns SDL's keys, text, IME composition and
// double-clicks into the runtime's own events. Nothing of SDL leaves this
// file.

#include "sdl_backend.h"

#include "module_entries.h"
#include "screen_geometry.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace marula {
namespace {

constexpr int kWidth = kScreenWidth;
constexpr int kHeight = kScreenHeight;
constexpr int kDefaultScale = 2;

// Platform keys the runtime knows; everything else is typed text or ignored.
struct KeyMapping {
    SDL_Keycode sym;
    Key key;
};
constexpr KeyMapping kKeyTable[] = {
    {SDLK_F1, Key::F1},         {SDLK_F2, Key::F2},         {SDLK_F3, Key::F3},          {SDLK_F4, Key::F4},
    {SDLK_F5, Key::F5},         {SDLK_F6, Key::F6},         {SDLK_F7, Key::F7},          {SDLK_F8, Key::F8},
    {SDLK_F9, Key::F9},         {SDLK_F10, Key::F10},       {SDLK_RETURN, Key::Enter},   {SDLK_KP_ENTER, Key::Enter},
    {SDLK_ESCAPE, Key::Escape}, {SDLK_BACKSPACE, Key::Backspace},
};

Key translate_key(SDL_Keycode sym) {
    for (const KeyMapping& m : kKeyTable)
        if (m.sym == sym) return m.key;
    return Key::None;
}

// Where the previous program's window stood: "x,y", optionally followed by
// ",WxH" (its size) and ",full" (full screen).
struct Placement {
    bool has_position = false;
    int x = 0, y = 0;
    int w = 0, h = 0;
    bool full = false;
};

bool parse_int(std::string_view text, int& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end;
}

Placement parse_placement(std::string_view text) {
    Placement p;
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        const auto comma = text.find(',');
        parts.push_back(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    if (parts.size() < 2 || !parse_int(parts[0], p.x) || !parse_int(parts[1], p.y)) return {};
    p.has_position = true;
    for (std::size_t i = 2; i < parts.size(); ++i) {
        if (parts[i] == "full") {
            p.full = true;
        } else if (const auto x = parts[i].find('x'); x != std::string_view::npos) {
            int w = 0, h = 0;
            if (parse_int(parts[i].substr(0, x), w) && parse_int(parts[i].substr(x + 1), h) && w >= kWidth &&
                h >= kHeight && w <= 16 * kWidth && h <= 16 * kHeight) {
                p.w = w;
                p.h = h;
            }
        }
    }
    return p;
}

// A position is kept only while some display still shows the window's
// top-left corner area (a monitor may have gone since).
bool on_some_display(int x, int y) {
    const int displays = SDL_GetNumVideoDisplays();
    for (int i = 0; i < displays; ++i) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) != 0) continue;
        // In long long: a placement handed on may hold any int.
        const long long cx = x + 32LL, cy = y + 16LL;
        if (cx > bounds.x && cx < bounds.x + bounds.w && cy > bounds.y && cy < bounds.y + bounds.h) return true;
    }
    return false;
}

// Twice the screen's size by default; once where the desktop is too small.
int initial_scale() {
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && (usable.w < kDefaultScale * kWidth || usable.h < kDefaultScale * kHeight))
        return 1;
    return kDefaultScale;
}

// Sends stderr to /dev/null for as long as it lives.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

std::string no_display_message(std::string_view detail) {
    std::string message = "画面を開けません（DISPLAY がありません）。スクリプトモードで動かすには MARULA_HEADLESS=1 を設定してください。";
    message += "\n(No display to open the window on";
    if (!detail.empty()) {
        message += ": ";
        message += detail;
    }
    message += ". Set MARULA_HEADLESS=1 to run in script mode.)";
    return message;
}

class SdlBackend final : public Backend {
public:
    SdlBackend(SDL_Window* window, SDL_Renderer* renderer, SDL_Texture* texture)
        : window_(window), renderer_(renderer), texture_(texture), frame_(kWidth * kHeight, 0),
          indices_(kWidth * kHeight, 0) {
        SDL_RendererInfo info{};
        picture_kept_ = SDL_GetRendererInfo(renderer_, &info) == 0 && info.name != nullptr &&
                        std::strcmp(info.name, "software") == 0;
        SDL_GetWindowPosition(window_, &windowed_x_, &windowed_y_);
        SDL_GetWindowSize(window_, &windowed_w_, &windowed_h_);
    }
    ~SdlBackend() override {
        if (audio_ != 0) SDL_CloseAudioDevice(audio_);
        SDL_DestroyTexture(texture_);
        SDL_DestroyRenderer(renderer_);
        SDL_DestroyWindow(window_);
        SDL_Quit();
    }
    SdlBackend(const SdlBackend&) = delete;
    SdlBackend& operator=(const SdlBackend&) = delete;

    // Only the rows that changed are converted and sent to the texture, and
    // with the software renderer (whose picture stays between presents) only
    // they are drawn again; an unchanged frame costs only the comparison.
    void present(const std::uint8_t* indices) override {
        int first = kHeight, last = -1;
        for (int y = 0; y < kHeight; ++y) {
            const std::size_t at = static_cast<std::size_t>(y) * kWidth;
            if (std::memcmp(indices_.data() + at, indices + at, kWidth) == 0) continue;
            std::memcpy(indices_.data() + at, indices + at, kWidth);
            for (int x = 0; x < kWidth; ++x) frame_[at + static_cast<std::size_t>(x)] = kPalette[indices[at + static_cast<std::size_t>(x)] & 15];
            first = std::min(first, y);
            last = y;
        }
        const bool first_frame = !shown_;
        show();
        if (first_frame) {
            redraw();
        } else if (last >= first) {
            const SDL_Rect band{0, first, kWidth, last - first + 1};
            SDL_UpdateTexture(texture_, &band, frame_.data() + static_cast<std::size_t>(first) * kWidth,
                              kWidth * static_cast<int>(sizeof(std::uint32_t)));
            if (picture_kept_) {
                SDL_RenderCopy(renderer_, texture_, &band, &band);
                SDL_RenderPresent(renderer_);
            } else {
                render();
            }
        }
    }

    std::optional<InputEvent> wait_event(std::optional<Clock::time_point> deadline) override {
        show();
        for (;;) {
            int timeout = -1;
            if (deadline) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
                timeout = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
            }
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, timeout) == 0) {
                if (deadline && Clock::now() >= *deadline) return std::nullopt;
                if (!deadline) SDL_Delay(10);  // an error rather than a timeout: do not spin
                continue;
            }
            if (auto translated = translate(event)) return translated;
        }
    }

    bool beep() override {
        if (!audio_tried_) open_audio();
        if (audio_ == 0) return false;
        // A 100 ms square wave at 2 kHz; beeps in quick succession queue up,
        // but never more than half a second of them.
        const int samples = audio_rate_ / 10;
        if (SDL_GetQueuedAudioSize(audio_) > static_cast<Uint32>(5 * samples) * sizeof(std::int16_t)) return true;
        std::vector<std::int16_t> tone(static_cast<std::size_t>(samples));
        for (int i = 0; i < samples; ++i) {
            const long long phase = 2LL * 2000 * i / audio_rate_;  // half-periods elapsed
            tone[static_cast<std::size_t>(i)] = phase % 2 == 0 ? 6000 : -6000;
        }
        if (SDL_QueueAudio(audio_, tone.data(), static_cast<Uint32>(tone.size() * sizeof(std::int16_t))) != 0)
            return false;
        SDL_PauseAudioDevice(audio_, 0);
        return true;
    }

    void set_text_input_rect(int x, int y, int w, int h) override {
        const std::array<int, 4> rect{x, y, w, h};
        if (rect == input_rect_) return;
        input_rect_ = rect;
        apply_text_input_rect();
    }

    void start_text_input() override {
        if (text_input_) return;
        text_input_ = true;
        SDL_StartTextInput();
        apply_text_input_rect();
    }

    void stop_text_input() override {
        if (!text_input_) return;
        text_input_ = false;
        composing_ = false;
        SDL_StopTextInput();
    }

    // The position is that of the window's frame: a new window is placed by
    // its frame, so a program started next stands exactly where this one
    // did instead of a title bar lower each time.
    std::string window_placement() const override {
        int x = windowed_x_, y = windowed_y_, w = windowed_w_, h = windowed_h_;
        if (!full_) {
            frame_position(x, y);
            SDL_GetWindowSize(window_, &w, &h);
        }
        std::string text = std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "x" + std::to_string(h);
        if (full_) text += ",full";
        return text;
    }

    void toggle_full_screen() {
        if (!full_) {
            frame_position(windowed_x_, windowed_y_);
            SDL_GetWindowSize(window_, &windowed_w_, &windowed_h_);
        }
        if (SDL_SetWindowFullscreen(window_, full_ ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) full_ = !full_;
        redraw();
        apply_text_input_rect();
    }

private:
    // The top-left corner of the window with the window manager's frame.
    void frame_position(int& x, int& y) const {
        SDL_GetWindowPosition(window_, &x, &y);
        int top = 0, left = 0, bottom = 0, right = 0;
        if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) == 0) {
            x -= left;
            y -= top;
        }
    }

    void show() {
        if (shown_) return;
        shown_ = true;
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
    }

    // The last frame again, letterboxed in black: after a present, an
    // expose, a resize or a switch to or from full screen.
    void redraw() {
        SDL_UpdateTexture(texture_, nullptr, frame_.data(), kWidth * static_cast<int>(sizeof(std::uint32_t)));
        render();
    }

    void render() {
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

    // The IME's candidate window goes under the entry cursor, whose cell is
    // given in screen pixels; SDL wants window coordinates.
    void apply_text_input_rect() {
        if (!text_input_) return;
        int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        SDL_RenderLogicalToWindow(renderer_, static_cast<float>(input_rect_[0]), static_cast<float>(input_rect_[1]), &x1, &y1);
        SDL_RenderLogicalToWindow(renderer_, static_cast<float>(input_rect_[0] + input_rect_[2]),
                                  static_cast<float>(input_rect_[1] + input_rect_[3]), &x2, &y2);
        SDL_Rect rect{x1, y1, std::max(1, x2 - x1), std::max(1, y2 - y1)};
        SDL_SetTextInputRect(&rect);
    }

    // Opened on the first beep so that start-up does not wait for the sound
    // system. A machine without sound just has no beep: the sound
    // libraries' complaints about it are kept off the terminal.
    void open_audio() {
        audio_tried_ = true;
        const QuietStderr quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        want.samples = 1024;
        SDL_AudioSpec have{};
        audio_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        audio_rate_ = want.freq;
    }

    static InputEvent key_event(Key key) {
        InputEvent ev;
        ev.type = InputEvent::Type::Key;
        ev.key = key;
        return ev;
    }
    static InputEvent text_event(InputEvent::Type type, std::string text) {
        InputEvent ev;
        ev.type = type;
        ev.text = std::move(text);
        return ev;
    }

    std::optional<InputEvent> translate(const SDL_Event& event) {
        switch (event.type) {
            case SDL_QUIT:
                return InputEvent{InputEvent::Type::Quit, Key::None, {}, 0, 0};
            case SDL_WINDOWEVENT:
                return window_event(event.window);
            case SDL_RENDER_TARGETS_RESET:
            case SDL_RENDER_DEVICE_RESET:
                redraw();
                return std::nullopt;
            case SDL_KEYDOWN:
                return key_down(event.key);
            case SDL_TEXTINPUT:
                composing_ = false;
                return text_event(InputEvent::Type::Text, event.text.text);
            case SDL_TEXTEDITING:
                composing_ = event.edit.text[0] != '\0';
                return text_event(InputEvent::Type::Editing, event.edit.text);
            case SDL_TEXTEDITING_EXT: {
                std::string text = event.editExt.text != nullptr ? event.editExt.text : "";
                SDL_free(event.editExt.text);
                composing_ = !text.empty();
                return text_event(InputEvent::Type::Editing, std::move(text));
            }
            case SDL_MOUSEBUTTONDOWN:
                return mouse_down(event.button);
            default:
                return std::nullopt;
        }
    }

    std::optional<InputEvent> window_event(const SDL_WindowEvent& window) {
        switch (window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                return InputEvent{InputEvent::Type::Quit, Key::None, {}, 0, 0};
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            case SDL_WINDOWEVENT_RESTORED:
                redraw();
                apply_text_input_rect();
                return std::nullopt;
            default:
                return std::nullopt;
        }
    }

    std::optional<InputEvent> key_down(const SDL_KeyboardEvent& key) {
        const SDL_Keycode sym = key.keysym.sym;
        const Uint16 mod = key.keysym.mod;
        if ((sym == SDLK_RETURN || sym == SDLK_KP_ENTER) && (mod & KMOD_ALT) != 0) {
            if (key.repeat == 0) toggle_full_screen();
            return std::nullopt;
        }
        const Key mapped = translate_key(sym);
        if (mapped != Key::None) {
            // While the IME composes, Enter, Escape and Backspace are its own.
            if (composing_ && (mapped == Key::Enter || mapped == Key::Escape || mapped == Key::Backspace))
                return std::nullopt;
            // Holding Backspace keeps deleting; a held function key acts once.
            if (key.repeat != 0 && mapped != Key::Backspace) return std::nullopt;
            return key_event(mapped);
        }
        // Outside line entry SDL sends no text: a plain printable key is still
        // handed on (as its unshifted character) so that a waiting program
        // can see that a key was pressed.
        if (!text_input_ && key.repeat == 0 && (mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) == 0 && sym >= 0x20 && sym < 0x7F)
            return text_event(InputEvent::Type::Text, std::string(1, static_cast<char>(sym)));
        return std::nullopt;
    }

    static std::optional<InputEvent> mouse_down(const SDL_MouseButtonEvent& button) {
        // Positions arrive in screen pixels; clicks on the black borders
        // around the screen are not on it.
        if (button.button != SDL_BUTTON_LEFT || button.clicks != 2) return std::nullopt;
        if (button.x < 0 || button.x >= kWidth || button.y < 0 || button.y >= kHeight) return std::nullopt;
        InputEvent ev;
        ev.type = InputEvent::Type::DoubleClick;
        ev.x = button.x;
        ev.y = button.y;
        return ev;
    }

    SDL_Window* window_;
    SDL_Renderer* renderer_;
    SDL_Texture* texture_;
    bool full_ = false;
    bool shown_ = false;
    std::vector<std::uint32_t> frame_;   // what the texture holds
    std::vector<std::uint8_t> indices_;  // the same as palette indices, to compare with
    bool picture_kept_ = false;          // the renderer keeps its picture between presents
    int windowed_x_ = 0, windowed_y_ = 0, windowed_w_ = 0, windowed_h_ = 0;
    bool text_input_ = false;
    bool composing_ = false;
    std::array<int, 4> input_rect_{0, 0, 8, 18};
    bool audio_tried_ = false;
    SDL_AudioDeviceID audio_ = 0;
    int audio_rate_ = 44100;
};

}  // namespace

std::optional<std::string> make_sdl_backend(const std::string& title, const std::string& placement,
                                            std::unique_ptr<Backend>& out) {
    // Set before SDL starts; the user's own environment still overrides them.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");

    const char* requested = std::getenv("SDL_VIDEODRIVER");
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // Nothing to connect to: say so at once rather than let SDL probe.
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("SDL_VIDEODRIVER")) return no_display_message({});
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return no_display_message(SDL_GetError());
    // With no display SDL falls back to a driver that shows nothing; that
    // is only wanted when the user asked for it by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool invisible = driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
    if (invisible && (requested == nullptr || driver == nullptr || SDL_strcasecmp(requested, driver) != 0)) {
        SDL_Quit();
        return no_display_message({});
    }

    const Placement where = parse_placement(placement);
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    if (where.has_position && on_some_display(where.x, where.y)) {
        x = where.x;
        y = where.y;
    }
    const int scale = initial_scale();
    const int w = where.w > 0 ? where.w : scale * kWidth;
    const int h = where.h > 0 ? where.h : scale * kHeight;
    // Hidden until the first frame, so that no empty window flashes up
    // between one program and the next.
    SDL_Window* window = SDL_CreateWindow(title.c_str(), x, y, w, h, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (window == nullptr) {
        std::string message = std::string("画面を開けません: ") + SDL_GetError();
        SDL_Quit();
        return message;
    }
    SDL_SetWindowMinimumSize(window, kWidth, kHeight);
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, 0);
    SDL_Texture* texture = nullptr;
    if (renderer != nullptr) {
        SDL_RenderSetLogicalSize(renderer, kWidth, kHeight);
        SDL_RenderSetIntegerScale(renderer, SDL_TRUE);
        texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    }
    if (texture == nullptr) {
        std::string message = std::string("画面を描けません: ") + SDL_GetError();
        if (renderer != nullptr) SDL_DestroyRenderer(renderer);
        SDL_DestroyWindow(window);
        SDL_Quit();
        return message;
    }
    // Text input runs only during line entry; the runtime switches it.
    SDL_StopTextInput();
    auto backend = std::make_unique<SdlBackend>(window, renderer, texture);
    if (where.full) backend->toggle_full_screen();
    out = std::move(backend);
    return std::nullopt;
}

}  // namespace marula

// The entry the programs look up when they load this module: SDL and the
// libraries behind it are loaded only when a window is wanted, so script
// mode starts without them.
extern "C" __attribute__((visibility("default"))) void marula_open_window(
    const std::string* title, const std::string* placement, std::unique_ptr<marula::Backend>* out,
    std::optional<std::string>* error) {
    *error = marula::make_sdl_backend(*title, *placement, *out);
}

MARULA_CHECK_MODULE_ENTRY(marula::modules::kWindow, marula_open_window);
