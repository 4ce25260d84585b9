// Recording stand-ins of the windows.
#include "recording_windows.hpp"

namespace quobel::testing {

float ScriptedDraws::draw() {
    ++taken;
    if (draws_.empty()) {
        exhausted = true;
        return 0.0f;
    }
    const float u = draws_.front();
    draws_.pop_front();
    return u;
}

void RecordingSurface::set_world_window(double left, double top, double right, double bottom) {
    world = {left, top, right, bottom};
    ++world_window_calls;
}

void RecordingSurface::clear() {
    ++clears;
    lines.clear();
    points.clear();
}

void RecordingSurface::draw_line(float x1, float y1, float x2, float y2, PaletteColour colour) {
    lines.push_back({x1, y1, x2, y2, colour});
}

void RecordingSurface::draw_point(float x, float y, PaletteColour colour) {
    points.push_back({x, y, x, y, colour});
}

void RecordingMainWindow::set_field_text(Field field, int index, std::string_view text) {
    std::string& current = texts_[{field, index}];
    if (current == text) {
        return;
    }
    current = std::string(text);
    writes.emplace_back(field, index, current);
    events_.field_changed(*this, field, index, text);
}

std::string RecordingMainWindow::field_text(Field field, int index) const {
    const auto found = texts_.find({field, index});
    return found == texts_.end() ? std::string() : found->second;
}

void RecordingMainWindow::set_label_caption(int index, std::string_view text) {
    captions.at(static_cast<std::size_t>(index)) = std::string(text);
}

void RecordingMainWindow::type(Field field, int index, std::string_view text) {
    // Typing over a selection replaces it with the first character; each later keystroke adds one.
    for (std::size_t n = 1; n <= text.size(); ++n) {
        set_field_text(field, index, text.substr(0, n));
    }
    if (text.empty()) {
        set_field_text(field, index, "");
    }
}

void RecordingSaveLoadWindow::set_file_name_text(std::string_view text) {
    if (file_name == text) {
        return;
    }
    file_name = std::string(text);
    events_.file_name_changed(text);
}

void RecordingSaveLoadWindow::set_status(StatusLabel label, std::string_view word,
                                         std::string_view reason) {
    (label == StatusLabel::save ? saved_word : loaded_word) = std::string(word);
    (label == StatusLabel::save ? save_reason : load_reason) = std::string(reason);
}

void RecordingSaveLoadWindow::type_file_name(std::string_view text) {
    for (std::size_t n = 1; n <= text.size(); ++n) {
        set_file_name_text(text.substr(0, n));
    }
    if (text.empty()) {
        set_file_name_text("");
    }
}

void RecordingWindowSystem::show_main_window() {
    if (main_) {
        return;
    }
    main_ = std::make_unique<RecordingMainWindow>(*events_);
    ++main_windows_created;
    events_->main_window_loaded(*main_);
}

void RecordingWindowSystem::close_main_window() {
    if (main_) {
        closed_.push_back(std::move(main_));
    }
}

void RecordingWindowSystem::show_save_load_window() {
    if (save_load_) {
        ++save_load_raised;
        return;
    }
    save_load_ = std::make_unique<RecordingSaveLoadWindow>(*events_);
    ++save_load_windows_created;
    events_->save_load_window_loaded(*save_load_);
}

}  // namespace quobel::testing
