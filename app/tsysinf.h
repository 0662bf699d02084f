// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "platform/form.h"
#include "platform/memorystatus.h"

#include <functional>

class QPushButton;
class QTableWidget;

// The memory dialog: how much physical memory and paging space the machine has and how much of
// each is free, so that the packer's memory value can be chosen sensibly. Made once and opened
// again and again; each opening reads the figures afresh.
class TSysInf : public Form {
    Q_OBJECT

public:
    // The source gives the figures each time the dialog opens.
    explicit TSysInf(std::function<MemoryStatus()> source = GlobalMemoryStatus,
                     QWidget* parent = nullptr);

    QPushButton* BitBtn1;
    QTableWidget* StringGrid1;

    // Runs at each opening: sizes the columns and fills in the figures.
    void FormActivate();
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();

    std::function<MemoryStatus()> m_source;
};
