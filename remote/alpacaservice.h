// The Alpaca CoverCalibrator server of the panel: HTTP device and management API and setup page on one thread,
// discovery on another, with every command handed to the box's controller.
#pragma once

#include "alpacaprotocol.h"

#include <memory>

class BoxController;

class AlpacaService
{
public:
    ~AlpacaService();
    AlpacaService(const AlpacaService &) = delete;
    AlpacaService &operator=(const AlpacaService &) = delete;

    int httpPort() const;
    int discoveryPort() const;

    // The controller's thread: builds the server for the box's controller with these settings. Null (with a debug line) when
    // the server is disabled or its port cannot be had; the panel works on without it.
    static std::unique_ptr<AlpacaService> start(BoxController &controller, const alpaca::Settings &settings);

private:
    struct Parts;
    explicit AlpacaService(std::unique_ptr<Parts> parts);
    std::unique_ptr<Parts> parts;
};

// Start-up: reads the "alpaca" settings (storing a new device id the first time) and starts the server for the
// box's controller.
std::unique_ptr<AlpacaService> startAlpacaServer(BoxController &controller);
