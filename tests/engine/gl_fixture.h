#pragma once
// A real GL context on a hidden window of the virtual X server, current for the whole test.
#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/window.h"

namespace sauno::testing {

class GLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::InitVideo();
        window_ = std::make_unique<platform::Window>("test", 0, 0, 64, 64, platform::GLPixelFormat{},
                                                     platform::WindowStyle::Normal);
        context_ = SDL_GL_CreateContext(window_->Handle());
        ASSERT_NE(context_, nullptr) << SDL_GetError();
        SDL_GL_MakeCurrent(window_->Handle(), context_);
    }
    void TearDown() override
    {
        SDL_GL_MakeCurrent(window_->Handle(), nullptr);
        if (context_) SDL_GL_DeleteContext(context_);
        window_.reset();
    }

    std::unique_ptr<platform::Window> window_;
    SDL_GLContext context_ = nullptr;
};

}  // namespace sauno::testing
