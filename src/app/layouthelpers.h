#pragma once

class QBoxLayout;
class QWidget;

// Rows and columns without margins, `spacing` apart.
QBoxLayout *row(int spacing, QWidget *parent = nullptr);
QBoxLayout *column(int spacing, QWidget *parent = nullptr);
